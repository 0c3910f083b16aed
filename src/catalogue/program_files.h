#pragma once
// The files that lie beside the executable, by their names in the program folder.
#include <string>
#include <string_view>

namespace rk5 {

inline constexpr std::string_view kLocalFile = "Local.ini";        // the local catalogue
inline constexpr std::string_view kCatalogueFile = "rk5h.ini";     // the fetched catalogue
inline constexpr std::string_view kSettingsFile = "Settings.ini";  // where the catalogue lies
inline constexpr std::string_view kAcceptedFile = "Accepted.ini";  // newest signed catalogue
// A catalogue's detached signature lies at its own name (or URL) with this added.
inline constexpr std::string_view kSignatureSuffix = ".minisig";
inline constexpr std::string_view kUpdateFile = "rk5h";            // a new build, fetched
inline constexpr std::string_view kExecutableName = "rk5helper";   // the program itself

// folder (with its trailing separator) + name.
inline std::string InFolder(const std::string& folder, std::string_view name) {
  return folder + std::string(name);
}

}  // namespace rk5
