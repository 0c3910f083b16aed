#pragma once
// The start-up decision: which job this run does, from the first argument, the
// registered install folder and the catalogue an earlier refresh left beside the program.
#include <string_view>

#include "platform/registry.h"
#include "selfinstall/install_mode.h"
#include "selfinstall/run_state.h"

namespace rk5 {

// Beside "Path" in the program's key: one more certificate authority that https fetches
// trust (a PEM file), for a publisher who serves from a private authority. Only the
// machine's own user sets it, never a catalogue or a server.
inline constexpr std::string_view kTrustedAuthorityValue = "CertificateAuthority";

// RunMode from the argument, overridden by the registry check; the update announcement
// of ProgramFolder + "rk5h.ini".
RunState DecideRun(std::string_view first_argument, std::string_view program_folder,
                   platform::Registry& registry);

}  // namespace rk5
