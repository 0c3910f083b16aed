#include "selfinstall/run_state.h"

#include "catalogue/catalogue_keys.h"
#include "ini/ini_file.h"
#include "platform/atomic_file.h"

namespace rk5 {

void CheckForUpdate(const IniDocument& catalogue, RunState& state) {
  if (Read(catalogue, kOwnSection, own_key::Build) > OwnBuild) {
    state.UpdateURL = Read(catalogue, kOwnSection, own_key::URL);
    state.UpdateRequired = true;
  }
}

void CheckForUpdate(const std::string& catalogue_file, RunState& state) {
  if (!platform::StampOf(catalogue_file).exists) return;
  CheckForUpdate(*IniFile(catalogue_file).Snapshot(), state);
}

}  // namespace rk5
