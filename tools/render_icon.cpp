// Draws Kelvane's icon (a calendar page over a landscape photo) at 16, 32 and
// 48 pixels, reduces each to 256 colours and writes the PNG files and one .ico
// holding all three. Usage: kelvane_render_icon OUTPUT_FOLDER
//
// Each size has its own drawing on the pixel grid: a scaled 48-pixel picture
// turns to mush at 16. Nothing here uses fonts, so the output depends only on
// the drawing and Qt's rasteriser, and rerunning it rewrites identical files.
#include <QColor>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <QRect>
#include <QString>
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <map>
#include <utility>
#include <vector>

namespace {

// The palette of the design.
const QColor kOutline(0x4a, 0x4a, 0x4a);
const QColor kPrintBorder(0xf6, 0xf4, 0xee);
const QColor kSkyTop(0x5f, 0xa8, 0xe6);
const QColor kSkyBottom(0xc4, 0xe2, 0xf8);
const QColor kSun(0xff, 0xcc, 0x33);
const QColor kMountain(0x78, 0x8f, 0xb0);
const QColor kHill(0x4f, 0x9e, 0x3a);
const QColor kMeadow(0x3a, 0x7f, 0x2a);
const QColor kPage(0xff, 0xff, 0xff);
const QColor kHeader(0xd8, 0x2c, 0x28);
const QColor kRing(0x3c, 0x3c, 0x3c);
const QColor kRingShine(0x8a, 0x8a, 0x8a);
const QColor kDay(0xa8, 0xa8, 0xa8);
const QColor kToday(0xd8, 0x2c, 0x28);

// A rectangle with a one-pixel outline; r is the outer edge, outline included.
void outlinedRect(QPainter& painter, const QRect& r, const QColor& fill) {
  painter.fillRect(r, kOutline);
  painter.fillRect(r.adjusted(1, 1, -1, -1), fill);
}

// The calendar's day cells: a grid of small grey blocks, one of them red.
void dayGrid(QPainter& painter, int left, int top, int columns, int rows, int cellWidth, int cellHeight,
             int gap, int todayColumn, int todayRow) {
  for (int row = 0; row < rows; ++row)
    for (int column = 0; column < columns; ++column) {
      const QRect cell(left + column * (cellWidth + gap), top + row * (cellHeight + gap), cellWidth,
                       cellHeight);
      painter.fillRect(cell, column == todayColumn && row == todayRow ? kToday : kDay);
    }
}

QImage blank(int size) {
  QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  return image;
}

// The photo print: a landscape behind a white border. Hills are drawn in
// order, each a path closed along the bottom of the scene.
struct Landscape {
  QRect print;
  QRect scene;
  QPointF sun;
  qreal sunRadius;
  QPolygonF mountain;
  std::vector<std::pair<QPainterPath, QColor>> hills;
};

void paintPhoto(QPainter& painter, const Landscape& landscape) {
  outlinedRect(painter, landscape.print, kPrintBorder);
  painter.setClipRect(landscape.scene);
  QLinearGradient sky(0, landscape.scene.top(), 0, landscape.scene.bottom());
  sky.setColorAt(0, kSkyTop);
  sky.setColorAt(1, kSkyBottom);
  painter.fillRect(landscape.scene, sky);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(Qt::NoPen);
  painter.setBrush(kSun);
  painter.drawEllipse(landscape.sun, landscape.sunRadius, landscape.sunRadius);
  painter.setBrush(kMountain);
  painter.drawPolygon(landscape.mountain);
  for (const auto& [hill, colour] : landscape.hills) {
    painter.setBrush(colour);
    painter.drawPath(hill);
  }
  painter.setRenderHint(QPainter::Antialiasing, false);
  painter.setClipping(false);
}

// A hill from (left, start) curving to (right, end), closed down to bottom.
QPainterPath hill(qreal left, qreal start, QPointF control1, QPointF control2, qreal right, qreal end,
                  qreal bottom) {
  QPainterPath path(QPointF(left, start));
  path.cubicTo(control1, control2, QPointF(right, end));
  path.lineTo(right, bottom);
  path.lineTo(left, bottom);
  return path;
}

QImage draw48() {
  QImage image = blank(48);
  QPainter painter(&image);
  paintPhoto(painter, {QRect(2, 6, 34, 28),
                       QRect(5, 9, 28, 22),
                       QPointF(11.5, 14.5),
                       3.2,
                       QPolygonF({{4, 27}, {15, 15}, {20, 20}, {25, 16}, {34, 25}, {34, 31}, {4, 31}}),
                       {{hill(4, 26, {12, 21.5}, {22, 23}, 34, 25.5, 32), kHill},
                        {hill(4, 29.5, {14, 27}, {24, 28}, 34, 29, 32), kMeadow}}});

  // The calendar page in front, with its binder rings above the red header.
  const QRect page(20, 18, 26, 28);
  outlinedRect(painter, page, kPage);
  painter.fillRect(QRect(21, 19, 24, 7), kHeader);
  painter.fillRect(QRect(21, 26, 24, 1), kOutline);
  for (int x : {26, 37}) {
    painter.fillRect(QRect(x, 15, 3, 7), kRing);
    painter.fillRect(QRect(x + 1, 16, 1, 5), kRingShine);
  }
  dayGrid(painter, 22, 28, 4, 3, 4, 4, 2, 2, 1);
  return image;
}

QImage draw32() {
  QImage image = blank(32);
  QPainter painter(&image);
  paintPhoto(painter, {QRect(1, 4, 23, 19),
                       QRect(3, 6, 19, 15),
                       QPointF(7.5, 9.5),
                       2.2,
                       QPolygonF({{2, 19}, {10, 10}, {14, 14}, {17, 11}, {23, 17}, {23, 22}, {2, 22}}),
                       {{hill(2, 18, {8, 15}, {15, 16}, 23, 17.5, 22), kHill}}});

  const QRect page(13, 12, 18, 19);
  outlinedRect(painter, page, kPage);
  painter.fillRect(QRect(14, 13, 16, 5), kHeader);
  for (int x : {17, 25}) painter.fillRect(QRect(x, 10, 2, 5), kRing);
  dayGrid(painter, 15, 20, 3, 3, 4, 2, 1, 1, 1);
  return image;
}

// At 16 pixels every pixel is placed: no gradient, no antialiasing, no rings.
QImage draw16() {
  QImage image = blank(16);
  QPainter painter(&image);

  const QRect print(0, 2, 12, 10);
  outlinedRect(painter, print, kSkyTop);
  painter.fillRect(QRect(7, 3, 2, 2), kSun);
  for (int row = 0; row < 4; ++row) painter.fillRect(QRect(4 - row, 5 + row, 1 + 2 * row, 1), kMountain);
  painter.fillRect(QRect(1, 9, 10, 2), kHill);

  const QRect page(6, 6, 10, 10);
  outlinedRect(painter, page, kPage);
  painter.fillRect(QRect(7, 7, 8, 2), kHeader);
  dayGrid(painter, 8, 10, 2, 2, 2, 1, 2, 1, 0);
  return image;
}

using Palette = std::vector<QRgb>;

// Median cut over the opaque colours: split the most populous box that holds
// two colours or more at the median of its widest channel, until there are
// `limit` boxes; each box becomes its pixels' mean. With few colours this is exact.
Palette medianCut(const std::map<QRgb, int>& histogram, std::size_t limit) {
  using Entry = std::pair<QRgb, int>;
  using Box = std::vector<Entry>;
  const auto channel = [](QRgb c, int which) {
    return which == 0 ? qRed(c) : which == 1 ? qGreen(c) : qBlue(c);
  };
  const auto widest = [&](const Box& box) {
    int best = 0, spread = -1;
    for (int which = 0; which < 3; ++which) {
      int low = 255, high = 0;
      for (const Entry& e : box) {
        low = std::min(low, channel(e.first, which));
        high = std::max(high, channel(e.first, which));
      }
      if (high - low > spread) {
        spread = high - low;
        best = which;
      }
    }
    return best;
  };

  std::vector<Box> boxes{Box(histogram.begin(), histogram.end())};
  while (boxes.size() < limit) {
    std::size_t chosen = boxes.size();
    long chosenWeight = 0;
    for (std::size_t i = 0; i < boxes.size(); ++i) {
      if (boxes[i].size() < 2) continue;
      long weight = 0;
      for (const Entry& e : boxes[i]) weight += e.second;
      if (weight > chosenWeight) {
        chosenWeight = weight;
        chosen = i;
      }
    }
    if (chosen == boxes.size()) break;
    Box box = std::move(boxes[chosen]);
    const int which = widest(box);
    std::sort(box.begin(), box.end(), [&](const Entry& a, const Entry& b) {
      return channel(a.first, which) < channel(b.first, which);
    });
    long half = 0, seen = 0;
    for (const Entry& e : box) half += e.second;
    half /= 2;
    std::size_t cut = 1;
    for (; cut < box.size() - 1; ++cut) {
      seen += box[cut - 1].second;
      if (seen >= half) break;
    }
    boxes[chosen] = Box(box.begin(), box.begin() + static_cast<std::ptrdiff_t>(cut));
    boxes.emplace_back(box.begin() + static_cast<std::ptrdiff_t>(cut), box.end());
  }

  Palette palette;
  for (const Box& box : boxes) {
    if (box.empty()) continue;  // nothing opaque at all
    long r = 0, g = 0, b = 0, n = 0;
    for (const Entry& e : box) {
      r += qRed(e.first) * e.second;
      g += qGreen(e.first) * e.second;
      b += qBlue(e.first) * e.second;
      n += e.second;
    }
    palette.push_back(qRgb(static_cast<int>((r + n / 2) / n), static_cast<int>((g + n / 2) / n),
                           static_cast<int>((b + n / 2) / n)));
  }
  return palette;
}

// An 8-bit indexed image with a 256-entry colour table. Entry 0 is the
// transparent one (black, as the .ico's AND mask expects underneath); a pixel
// is either transparent or opaque, so the 1-bit mask of the .ico loses nothing.
QImage indexed(const QImage& drawing) {
  const QImage argb = drawing.convertToFormat(QImage::Format_ARGB32);
  const auto opaque = [](QRgb p) { return qAlpha(p) >= 128; };
  std::map<QRgb, int> histogram;
  for (int y = 0; y < argb.height(); ++y)
    for (int x = 0; x < argb.width(); ++x) {
      const QRgb p = argb.pixel(x, y);
      if (opaque(p)) ++histogram[qRgb(qRed(p), qGreen(p), qBlue(p))];
    }

  Palette table{qRgba(0, 0, 0, 0)};
  for (QRgb c : medianCut(histogram, 255)) table.push_back(c);
  while (table.size() < 256) table.push_back(qRgb(0, 0, 0));

  QImage result(argb.size(), QImage::Format_Indexed8);
  result.setColorTable(QList<QRgb>(table.begin(), table.end()));
  for (int y = 0; y < argb.height(); ++y) {
    uchar* line = result.scanLine(y);
    for (int x = 0; x < argb.width(); ++x) {
      const QRgb p = argb.pixel(x, y);
      int best = 0;
      if (opaque(p)) {
        int bestDistance = -1;
        for (int i = 1; i < static_cast<int>(table.size()); ++i) {
          const QRgb c = table[static_cast<std::size_t>(i)];
          const int dr = qRed(c) - qRed(p), dg = qGreen(c) - qGreen(p), db = qBlue(c) - qBlue(p);
          const int distance = dr * dr + dg * dg + db * db;
          if (bestDistance < 0 || distance < bestDistance) {
            bestDistance = distance;
            best = i;
          }
        }
      }
      line[x] = static_cast<uchar>(best);
    }
  }
  return result;
}

void putU8(QByteArray& out, unsigned value) { out.append(static_cast<char>(value & 0xffu)); }
void putU16(QByteArray& out, unsigned value) {
  putU8(out, value);
  putU8(out, value >> 8);
}
void putU32(QByteArray& out, std::uint32_t value) {
  putU16(out, value & 0xffffu);
  putU16(out, value >> 16);
}

// One .ico image: a BITMAPINFOHEADER (height doubled for the mask), the
// 256-entry palette, the 8-bit pixels and the 1-bit AND mask, rows bottom-up
// and padded to 4 bytes.
QByteArray bmpEntry(const QImage& image) {
  const auto width = static_cast<unsigned>(image.width());
  const auto height = static_cast<unsigned>(image.height());
  const unsigned pixelStride = (width + 3u) / 4u * 4u;
  const unsigned maskStride = ((width + 7u) / 8u + 3u) / 4u * 4u;
  QByteArray out;
  putU32(out, 40);
  putU32(out, width);
  putU32(out, height * 2);
  putU16(out, 1);  // planes
  putU16(out, 8);  // bits per pixel
  putU32(out, 0);  // no compression
  putU32(out, (pixelStride + maskStride) * height);
  putU32(out, 0);
  putU32(out, 0);
  putU32(out, 256);  // colours used
  putU32(out, 0);
  const QList<QRgb> table = image.colorTable();
  for (QRgb c : table) {
    putU8(out, static_cast<unsigned>(qBlue(c)));
    putU8(out, static_cast<unsigned>(qGreen(c)));
    putU8(out, static_cast<unsigned>(qRed(c)));
    putU8(out, 0);
  }
  for (int y = image.height() - 1; y >= 0; --y) {
    const uchar* line = image.constScanLine(y);
    for (unsigned x = 0; x < pixelStride; ++x) putU8(out, x < width ? line[x] : 0u);
  }
  for (int y = image.height() - 1; y >= 0; --y) {
    const uchar* line = image.constScanLine(y);
    for (unsigned byte = 0; byte < maskStride; ++byte) {
      unsigned bits = 0;
      for (unsigned bit = 0; bit < 8; ++bit) {
        const unsigned x = byte * 8 + bit;
        if (x < width && qAlpha(table[line[x]]) == 0) bits |= 0x80u >> bit;
      }
      putU8(out, bits);
    }
  }
  return out;
}

// The .ico container: ICONDIR, one ICONDIRENTRY per image, then the images.
QByteArray icoFile(const std::vector<QImage>& images) {
  QByteArray out;
  putU16(out, 0);
  putU16(out, 1);  // type: icon
  putU16(out, static_cast<unsigned>(images.size()));
  std::vector<QByteArray> entries;
  for (const QImage& image : images) entries.push_back(bmpEntry(image));
  auto offset = static_cast<std::uint32_t>(6 + 16 * images.size());
  for (std::size_t i = 0; i < images.size(); ++i) {
    putU8(out, static_cast<unsigned>(images[i].width()));
    putU8(out, static_cast<unsigned>(images[i].height()));
    putU8(out, 0);  // 256 colours or more
    putU8(out, 0);
    putU16(out, 1);
    putU16(out, 8);
    putU32(out, static_cast<std::uint32_t>(entries[i].size()));
    putU32(out, offset);
    offset += static_cast<std::uint32_t>(entries[i].size());
  }
  for (const QByteArray& entry : entries) out.append(entry);
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s OUTPUT_FOLDER\n", argv[0]);
    return 2;
  }
  const QDir folder(QString::fromLocal8Bit(argv[1]));
  const std::vector<QImage> images{indexed(draw48()), indexed(draw32()), indexed(draw16())};
  for (const QImage& image : images) {
    const QString path = folder.filePath(QStringLiteral("kelvane-%1.png").arg(image.width()));
    if (!image.save(path, "PNG")) {
      std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
      return 1;
    }
  }
  QFile ico(folder.filePath(QStringLiteral("kelvane.ico")));
  const QByteArray bytes = icoFile(images);
  if (!ico.open(QIODevice::WriteOnly | QIODevice::Truncate) || ico.write(bytes) != bytes.size()) {
    std::fprintf(stderr, "cannot write %s\n", qPrintable(ico.fileName()));
    return 1;
  }
  return 0;
}
