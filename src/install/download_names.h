#pragma once
// The names a download is made of: where a tool's archive is kept, which folder tools are
// installed under, which section texts may name a tool, and the service every running
// copy registers under.
#include <string>
#include <string_view>

namespace rk5 {

// ProgramFolder + section + ".zip".
std::string ArchiveFileOf(std::string_view program_folder, std::string_view section);

// ProgramFolder + section + ".manifest": the list of the files an install placed.
std::string ManifestFileOf(std::string_view program_folder, std::string_view section);

// The parent of the program folder, with its trailing separator: "/opt/Rk5/Helper/" gives
// "/opt/Rk5/", and a folder directly below the root gives the root.
std::string InstallBaseOf(std::string_view program_folder);

// An ASCII letter or underscore, then ASCII letters, digits and underscores. Only such a
// section names a tool's busy mark, staging folder and archive file.
bool IsComponentName(std::string_view section);

// The file name of the executable at executable_path up to its first ".": the service
// every copy registers, and the one a download probes and holds its tool under.
std::string ServiceNameOf(std::string_view executable_path);

}  // namespace rk5
