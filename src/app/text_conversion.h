// The one place where the core's byte strings meet Qt's text. Paths and log
// lines hold file names as the file system gives them, which on this
// platform is UTF-8; tag texts reach the window only inside such lines.
#pragma once

#include <QFile>
#include <QString>
#include <string>
#include <string_view>

namespace kelvane {

inline QString toQString(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// A path as the file system wants its bytes.
inline std::string toPathBytes(const QString& path) { return QFile::encodeName(path).toStdString(); }

}  // namespace kelvane
