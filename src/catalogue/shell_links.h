#pragma once
// Shortcuts on the desktop: the description of one (TLinkInfo) and the routines that write
// it as a launcher of this desktop. Plain functions without state of their own; the
// launcher writer is passed in.
//
// Hot key, show state and item-ID list are kept in the record as the callers fill them. A
// desktop launcher file has no equivalent of them: the item-ID list goes no further, hot
// key and show state reach the writer, which has nowhere to put them.
#include <cstdint>
#include <string>
#include <vector>

#include "platform/launcher_files.h"
#include "platform/registry.h"

namespace rk5 {

struct TLinkInfo {
  std::string Target;                    // full path of the file the link starts
  std::vector<std::uint8_t> ItemIdList;  // alternative designation of the target; empty: none
  std::string WorkingFolder;             // folder the target starts in
  std::string Arguments;                 // command-line arguments for the target
  std::string Description;               // the link's comment
  std::string IconFile;                  // file that holds the link's icon
  std::int32_t IconIndex = 0;            // index of the icon within IconFile
  std::uint16_t HotKey = 0;              // 0: none
  std::uint8_t ShowState = 0;            // 0 normal, 1 minimised, 2 maximised
};

// The launcher's show state for a record's: minimised and maximised stay, anything else
// is normal.
unsigned LauncherShowState(std::uint8_t ShowState);

// Writes the link called Name into Folder (the launcher file is Folder + "/" +
// Files.FileName(Name)), replacing one of that name. True when it was written; a name
// that could not be a file name there is refused, and nothing lands outside Folder.
bool CreateShellLink(platform::LauncherFiles& Files, const std::string& Folder,
                     const std::string& Name, const std::string& Target,
                     const std::string& Description, const std::string& WorkingFolder,
                     const std::string& Arguments, const std::string& IconFile,
                     std::int32_t IconIndex, std::uint16_t HotKey, std::uint8_t ShowState,
                     const std::vector<std::uint8_t>& ItemIdList);

// A link to Target that starts in Target's own folder (with its trailing separator) and
// shows Target's first icon; no hot key, normal show state, no item-ID list.
bool CreateShortcut(platform::LauncherFiles& Files, const std::string& Name,
                    const std::string& Folder, const std::string& Target,
                    const std::string& Arguments, const std::string& Description);

// A link with every property from Info.
bool CreateShortcutFromInfo(platform::LauncherFiles& Files, const std::string& Name,
                            const std::string& Folder, const TLinkInfo& Info);

// Removes the launchers called Name that start program (this program's file name) from
// the desktop folder and the applications menu, as the registry names them; any other
// launcher of that name stays. False only when one of ours stays.
bool RemoveToolShortcuts(platform::LauncherFiles& Files, platform::Registry& Registry,
                         const std::string& Name, const std::string& Program);

}  // namespace rk5
