#include "app/qt_text.h"

#include <QtEndian>
#include <cstring>

#include "text/codepage.h"

namespace kestrava {

QString to_qstring(const Text& text) {
  if (text.empty()) {
    return {};
  }
  const Bytes utf16 = text_to_utf16(text, code_page_gbk);
  // UTF-16LE units, the last one the terminating zero.
  const auto units = static_cast<qsizetype>(utf16.size() / 2);
  if (units <= 1) {
    return {};
  }
  QString result(units - 1, Qt::Uninitialized);
  const unsigned char* p = utf16.data();
  char16_t* out = reinterpret_cast<char16_t*>(result.data());
  for (qsizetype i = 0; i < units - 1; ++i) {
    out[i] = qFromLittleEndian<char16_t>(p + 2 * i);
  }
  return result;
}

Text to_text(const QString& string) {
  if (string.isEmpty()) {
    return {};
  }
  std::string utf16(static_cast<std::size_t>(string.size() + 1) * 2, '\0');
  for (qsizetype i = 0; i < string.size(); ++i) {
    qToLittleEndian<char16_t>(string[i].unicode(), utf16.data() + 2 * i);
  }
  return utf16_to_text(Bytes(std::move(utf16)), code_page_gbk);
}

}  // namespace kestrava
