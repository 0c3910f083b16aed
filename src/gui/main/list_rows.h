#pragma once
// What one row of the tool list says and in which colours, by the entry's state.
#include <cstdint>
#include <string>

#include "catalogue/program_entry.h"

namespace rk5 {

struct RowText {
  std::string first_line;     // name and the version shown for the state
  uint32_t first_colour = 0;  // from the palette
  std::string installed;      // "(" Version " installed)" for an outdated entry, else empty
  std::string author;         // "Author: " By
};

RowText TextOfRow(const TProgram& entry);

}  // namespace rk5
