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
  entry.Name = Read(local, section, tool_key::Name);
  entry.ReadMe = Read(local, section, tool_key::ReadMe);
  entry.ExeName = Read(local, section, tool_key::ExeName);
  entry.Path = Read(local, section, tool_key::Path);
  entry.DL = Read(local, section, tool_key::DL);
  entry.By = Read(local, section, tool_key::By);
  entry.Build = Read(local, section, tool_key::Build);
  entry.OBuild = Read(local, section, tool_key::OBuild);
  entry.Section = std::string(section);
  if (build_icons) build_icons(entry);
  ApplyStateRules(entry, Read(local, section, tool_key::Installed));
  entry.Version = Read(local, section, tool_key::Version);
  entry.OVersion = Read(local, section, tool_key::OVersion);
  return entry;
}

std::vector<TProgram> LoadPrograms(const IniDocument& local, const IconBuilder& build_icons) {
  const std::vector<std::string> sections = local.Sections();
  std::vector<TProgram> entries;
  entries.reserve(sections.size());
  for (const std::string& section : sections) {
    if (section == kOwnSection) continue;
    entries.push_back(FillProgram(local, section, build_icons));
  }
  return entries;
}

}  // namespace rk5
