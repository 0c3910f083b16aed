#pragma once
// Uninstalling one tool so that it can't half-happen. Its manifest names what the install
// placed; every listed file that is still as installed (same size and digest, no link on
// its way) is moved into a hidden removal staging folder inside the base folder under a
// journal, then the record is cleared in "Local.ini" in one batch, the manifest leaving
// with the files, then the folders the installs made go where they are empty and the
// staging folder is deleted. A kill at any moment leaves, after the next repair, the
// whole tool with its record or none of it with its record cleared. Files changed or
// added by the user stay.
#include <cstddef>
#include <string>

#include "ini/ini_file.h"
#include "install/tool_installation.h"

namespace rk5 {

enum class RemovalFailure {
  kNone,
  kNoManifest,        // installed before manifests were kept: nothing is guessed
  kManifestDamaged,   // unreadable, or names a place outside this tool's own files
  kBaseUnusable,      // no staging folder or journal could be made
  kMoveFailed,        // a file could not be moved out (everything was put back)
  kRecordNotWritten,  // "Local.ini" refused the cleared record (everything was put back)
  kRepairIncomplete,  // what was moved could not all be put back; the journal stays
};

struct RemovalOutcome {
  RemovalFailure failure = RemovalFailure::kNone;
  std::string detail;       // for diagnostics: the file or message concerned
  std::size_t removed = 0;  // files removed
  std::size_t kept = 0;     // files of the tool's folders that stay: changed or not listed
  explicit operator bool() const { return failure == RemovalFailure::kNone; }
};

// Whether section can be uninstalled: its manifest is there, readable and names nothing
// outside the tool's own files. Nothing is touched; RemoveTool checks the same again.
RemovalOutcome CheckRemovable(const InstallPlatform& platform, const std::string& install_base,
                              const std::string& section, IniFile& local);

// Uninstalls section, whose manifest lies beside "Local.ini" (local), from install_base.
// Call it holding the tool's busy mark, after RepairInterruptedInstall.
RemovalOutcome RemoveTool(const InstallPlatform& platform, const std::string& install_base,
                          const std::string& section, IniFile& local);

// Puts right what killed removals of section left under install_base: a removal whose
// files all left is completed (record cleared, empty folders removed), any other is undone;
// the staging folders go. RepairInterruptedInstall calls it.
InstallStatus RepairInterruptedRemoval(const InstallPlatform& platform,
                                       const std::string& install_base,
                                       const std::string& section, IniFile& local);

}  // namespace rk5
