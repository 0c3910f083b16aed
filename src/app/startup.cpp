#include "app/startup.h"

#include "catalogue/ini_file.h"
#include "platform/atomic_file.h"

namespace rk5 {

std::string FolderOfPath(std::string_view full_path) {
  std::size_t slash = full_path.find_last_of('/');
  if (slash == std::string_view::npos) return {};
  return std::string(full_path.substr(0, slash + 1));
}

std::string UpperAscii(std::string_view text) {
  std::string upper(text);
  for (char& c : upper) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return upper;
}

void CheckForUpdate(const IniDocument& catalogue, RunState& state) {
  if (catalogue.ReadInteger("Rk5Helper", "Build", 0) > OwnBuild) {
    state.UpdateURL = catalogue.ReadString("Rk5Helper", "URL", "");
    state.UpdateRequired = true;
  }
}

void CheckForUpdate(const std::string& catalogue_file, RunState& state) {
  if (!platform::StampOf(catalogue_file).exists) return;
  CheckForUpdate(*IniFile(catalogue_file).Snapshot(), state);
}

RunState DecideRun(std::string_view first_argument, std::string_view program_folder,
                   platform::Registry& registry) {
  RunState state;
  state.RunMode = std::string(first_argument);
  state.ProgramFolder = std::string(program_folder);

  auto key = registry.OpenKey(platform::RegistryRoot::LocalMachine, kProgramKey);
  if (!key || !key->ValueExists("Path")) {
    state.RunMode = "/install";
  } else if (UpperAscii(key->ReadString("Path")) != UpperAscii(state.ProgramFolder)) {
    state.RunMode = "/installed";
  }

  CheckForUpdate(state.ProgramFolder + "rk5h.ini", state);
  return state;
}

}  // namespace rk5
