#pragma once
// The program's text is single-byte: each byte is the character it is, NULs and 0x80 to
// 0xFF included.
#include <QString>
#include <string_view>

namespace rk5 {

inline QString Latin1(std::string_view text) {
  return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace rk5
