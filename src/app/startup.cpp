#include "app/startup.h"

#include "catalogue/program_files.h"
#include "catalogue/signed_catalogue.h"
#include "platform/text.h"

namespace rk5 {

RunState DecideRun(std::string_view first_argument, std::string_view program_folder,
                   platform::Registry& registry) {
  RunState state;
  state.RunMode = std::string(first_argument);
  state.ProgramFolder = std::string(program_folder);

  auto key = registry.OpenKey(platform::RegistryRoot::LocalMachine, kProgramKey);
  if (!key || !key->ValueExists(kPathValue)) {
    state.RunMode = "/install";
  } else if (!platform::EqualsFolded(key->ReadString(kPathValue), state.ProgramFolder)) {
    state.RunMode = "/installed";
  }

  if (key) state.TrustedAuthority = key->ReadString(kTrustedAuthorityValue);
  // With a publisher's key, only a catalogue that still verifies may announce a build.
  if (auto catalogue =
          TrustedCatalogue(state.ProgramFolder, ReadCataloguePolicy(state.ProgramFolder))) {
    CheckForUpdate(*catalogue, state);
  }
  return state;
}

}  // namespace rk5
