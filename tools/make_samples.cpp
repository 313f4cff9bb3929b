// Paints the built-in sample photos that the README's first command sorts:
// little JPEG landscapes with Exif blocks of our own, one per case the sort
// run tells apart. Usage: kelvane_make_samples OUTPUT_FOLDER
#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <cstdio>
#include <string>
#include <vector>

#include "tiff_builder.h"

namespace {

using kelvane::testing::ByteOrder;
using kelvane::testing::JpegBuilder;
using kelvane::testing::TiffBuilder;

struct Sample {
  const char* file;
  QColor sky;
  QColor land;
  const char* dateTime;  // nullptr: no DateTimeOriginal
  bool exif;
  ByteOrder order;
};

// A small landscape, different for every sample.
std::vector<std::uint8_t> paintJpeg(const Sample& sample) {
  QImage image(160, 120, QImage::Format_RGB32);
  QPainter painter(&image);
  QLinearGradient sky(0, 0, 0, 80);
  sky.setColorAt(0, sample.sky.darker(130));
  sky.setColorAt(1, sample.sky.lighter(140));
  painter.fillRect(image.rect(), sky);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(Qt::NoPen);
  painter.setBrush(QColor(255, 214, 90));
  painter.drawEllipse(QPointF(122, 28), 12, 12);
  painter.setBrush(sample.land);
  painter.drawEllipse(QRectF(-40, 70, 160, 100));
  painter.setBrush(sample.land.darker(120));
  painter.drawEllipse(QRectF(60, 80, 160, 100));
  painter.end();
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, "JPG", 80);
  return {bytes.begin(), bytes.end()};
}

// IFD0 names the camera and points to the Exif directory, which holds the
// capture date when the sample has one.
TiffBuilder exifBlock(const Sample& sample) {
  using namespace kelvane::testing;
  TiffBuilder tiff(sample.order);
  const std::string make = "Kelvane sample";
  const std::uint32_t exifOffset = 8 + 2 + 2 * 12 + 4;
  const std::uint32_t makeOffset = exifOffset + 2 + 12 + 4;
  tiff.directory({{271, kAscii, static_cast<std::uint32_t>(make.size() + 1), tiff.number(makeOffset + 20)},
                  {34665, kLong, 1, tiff.number(exifOffset)}});
  if (sample.dateTime != nullptr) {
    tiff.directory({{36867, kAscii, 20, tiff.number(makeOffset)}});
    tiff.text(sample.dateTime);
  } else {
    tiff.directory({{41729, kUndefined, 1, TiffBuilder::raw(1)}});  // SceneType only
    tiff.text(std::string(19, ' '));
  }
  tiff.append({0});
  tiff.text(make);
  tiff.append({0});
  return tiff;
}

std::vector<std::uint8_t> samplePhoto(const Sample& sample) {
  const std::vector<std::uint8_t> jpeg = paintJpeg(sample);
  if (!sample.exif) return jpeg;
  JpegBuilder photo;
  photo.soi().exif(exifBlock(sample)).raw({jpeg.begin() + 2, jpeg.end()});
  return photo.bytes();
}

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication application(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: kelvane_make_samples OUTPUT_FOLDER\n");
    return 2;
  }
  const Sample samples[] = {
      {"beach.jpg", QColor(90, 170, 230), QColor(230, 205, 140), "2019:07:14 16:20:05", true,
       ByteOrder::Intel},
      {"harbour.jpg", QColor(120, 160, 210), QColor(70, 110, 150), "2019:07:14 18:02:41", true,
       ByteOrder::Intel},
      {"snow.jpg", QColor(170, 190, 215), QColor(245, 248, 252), "2021:01:30 09:12:45", true,
       ByteOrder::Motorola},
      {"scan.jpg", QColor(200, 170, 120), QColor(120, 90, 60), nullptr, false, ByteOrder::Intel},
      {"edited.jpg", QColor(160, 120, 200), QColor(90, 150, 80), nullptr, true, ByteOrder::Intel},
  };
  const QDir folder(QString::fromLocal8Bit(argv[1]));
  for (const Sample& sample : samples) {
    const std::vector<std::uint8_t> bytes = samplePhoto(sample);
    QFile file(folder.filePath(QString::fromLatin1(sample.file)));
    if (!file.open(QIODevice::WriteOnly) ||
        file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<qint64>(bytes.size())) !=
            static_cast<qint64>(bytes.size())) {
      std::fprintf(stderr, "cannot write %s\n", qPrintable(file.fileName()));
      return 1;
    }
  }
  return 0;
}
