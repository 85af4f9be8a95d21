#include "album_text.h"

#include <QFile>
#include <array>
#include <cstdint>

#include "umlauts.h"

namespace glim {

namespace {
// Windows-1252 differs from Latin-1 only in 0x80..0x9F; its five unassigned bytes map to the
// control characters of the same value, as the system's own conversion does.
constexpr std::array<char16_t, 32> kCp1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
}  // namespace

QString albumText(std::string_view bytes) {
  if (isValidUtf8(bytes)) {
    return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
  }
  QString text;
  text.reserve(static_cast<qsizetype>(bytes.size()));
  for (const char c : bytes) {
    const auto byte = static_cast<uint8_t>(c);
    text.append(byte >= 0x80 && byte <= 0x9F ? QChar(kCp1252High[byte - 0x80]) : QChar(byte));
  }
  return text;
}

std::string albumBytes(const QString& text) {
  return text.toUtf8().toStdString();
}

std::string pathBytes(const QString& path) {
  return QFile::encodeName(path).toStdString();
}

QString pathText(std::string_view bytes) {
  return QFile::decodeName(QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size())));
}

}  // namespace glim
