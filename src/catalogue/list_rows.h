#pragma once
// What one row of the tool list says and in which colours, by the entry's state.
#include <cstdint>
#include <string>

#include "catalogue/program_entry.h"

namespace rk5 {

namespace row_colours {
inline constexpr uint32_t kBackground = 0x313532;
inline constexpr uint32_t kSelectedBackground = 0x303030;
inline constexpr uint32_t kOutdated = 0xDEC76B;
inline constexpr uint32_t kReady = 0xFFFFFF;
inline constexpr uint32_t kSecondary = 0x808080;  // not installed, "(… installed)", author
}  // namespace row_colours

struct RowText {
  std::string first_line;    // name and the version shown for the state
  uint32_t first_colour = 0;
  std::string installed;     // "(" Version " installed)" for an outdated entry, else empty
  std::string author;        // "Author: " By
};

RowText TextOfRow(const TProgram& entry);

}  // namespace rk5
