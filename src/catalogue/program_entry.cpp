#include "catalogue/program_entry.h"

namespace rk5 {

void ApplyStateRules(TProgram& entry, int32_t installed) {
  entry.Outdated = entry.OBuild > entry.Build;
  if (installed == 1) {
    entry.Installed = true;
  } else {
    entry.Installed = false;
    entry.Outdated = false;
  }
}

TProgram FillProgram(const IniDocument& local, std::string_view section,
                     const IconBuilder& build_icons) {
  TProgram entry;
  entry.Name = local.ReadString(section, "Name", "<none>");
  entry.ReadMe = local.ReadString(section, "ReadMe", "");
  entry.ExeName = local.ReadString(section, "ExeName", "");
  entry.Path = local.ReadString(section, "Path", "<none>");
  entry.DL = local.ReadString(section, "DL", "<none>");
  entry.By = local.ReadString(section, "By", "<unknown>");
  entry.Build = local.ReadInteger(section, "Build", 0);
  entry.OBuild = local.ReadInteger(section, "OBuild", 0);
  entry.Section = std::string(section);
  if (build_icons) build_icons(entry);
  ApplyStateRules(entry, local.ReadInteger(section, "Installed", 0));
  entry.Version = local.ReadString(section, "Version", "");
  entry.OVersion = local.ReadString(section, "OVersion", "");
  return entry;
}

std::vector<TProgram> LoadPrograms(const IniDocument& local, const IconBuilder& build_icons) {
  std::vector<TProgram> entries;
  for (const std::string& section : local.Sections()) {
    if (section == kOwnSection) continue;
    entries.push_back(FillProgram(local, section, build_icons));
  }
  return entries;
}

}  // namespace rk5
