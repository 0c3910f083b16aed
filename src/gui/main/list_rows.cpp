#include "gui/main/list_rows.h"

#include "gui/base/palette.h"

namespace rk5 {

RowText TextOfRow(const TProgram& entry) {
  RowText row;
  if (entry.Outdated) {
    row.first_line = entry.Name + " " + entry.OVersion;
    row.first_colour = palette::kOutdated;
    row.installed = "(" + entry.Version + " installed)";
  } else if (entry.Installed) {
    row.first_line = entry.Name + " " + entry.Version;
    row.first_colour = palette::kReady;
  } else {
    row.first_line = entry.Name + " " + entry.OVersion;
    row.first_colour = palette::kSecondary;
  }
  row.author = "Author: " + entry.By;
  return row;
}

}  // namespace rk5
