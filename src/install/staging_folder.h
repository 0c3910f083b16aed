#pragma once
// The hidden folders inside the base folder through which an installation or a removal
// moves a tool's files, and the steps both take on their journal. An installation stages
// into ".rk5-stage.<section>.<process>", a removal into ".rk5-remove.<section>.<process>";
// no archive may put a name of either kind at the top of the base folder.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "install/install_journal.h"
#include "install/tool_installation.h"

namespace rk5 {

inline constexpr std::string_view kStagingPrefix = ".rk5-stage.";
inline constexpr std::string_view kRemovalPrefix = ".rk5-remove.";

// folder + separator + relative, each "/" of relative written as separator.
std::string JoinPath(const std::string& folder, const std::string& relative, char separator);

// Where a staging folder keeps its parts.
struct Staging {
  std::string root, fresh, aside, journal;
  Staging(const std::string& folder, char separator);
};

// prefix + section (any letter case) + "." + digits.
bool IsStagingOf(std::string_view name, std::string_view prefix, std::string_view section);

// A name an archive may not put at the top of the base folder: a staging folder's own.
bool IsReservedName(std::string_view relative);

// Records the transaction's outcome in its journal before acting on it. A journal that
// cannot be rewritten keeps its phase, and the repair decides as before.
void WritePhase(const Staging& staging, InstallJournal& journal, JournalPhase phase);

// The journal in a staging folder; nullopt when it cannot be read or is not one.
std::optional<InstallJournal> ReadJournal(const Staging& staging);

// The first step of every clean-up: the journal goes before anything staged is removed,
// so that a staged file that is gone can never be read as one moved into place.
bool Retire(const InstallPlatform& platform, const Staging& staging);

// Where the manifest of section lies relative to base ("/" between steps): in the
// program folder, which is directly inside base. Empty when it is not.
std::string ManifestPathBelow(const std::string& base, const std::string& program_folder,
                              const std::string& section, char separator);

}  // namespace rk5
