#pragma once
// Texts that more than one window shows the user, exactly as the program has always
// written them.
#include <cstddef>
#include <string>
#include <string_view>

namespace rk5 {

inline constexpr const char* kCantConnectText = "Can't connect to server!";
inline constexpr const char* kUpdateFirstText =
    "You must update Rk5 Helper before downloading new files!";
inline constexpr const char* kNoUpdateNeededText = "This program does not need a to be updated.";
inline constexpr const char* kSignatureNotValidText = "The catalogue's signature is not valid!";

// The uninstall's texts; each names the tool by its Name.
inline constexpr const char* kUninstallMenuText = "Uninstall";
inline std::string UninstallQuestion(std::string_view name) { return "Uninstall " + std::string(name) + "?"; }
inline std::string UninstalledText(std::string_view name, std::size_t kept) {
  return std::string(name) + " has been uninstalled! " +
         (kept == 0 ? std::string("No file was kept.")
                    : std::to_string(kept) + (kept == 1 ? " changed or added file was kept." : " changed or added files were kept."));
}
inline std::string NoManifestText(std::string_view name) {
  return std::string(name) + " was installed without a list of its files, so it cannot be uninstalled.";
}
inline std::string DamagedManifestText(std::string_view name) {
  return "The list of " + std::string(name) + "'s files is damaged; nothing was uninstalled.";
}
inline std::string NotInstalledText(std::string_view name) { return std::string(name) + " is not installed."; }
inline std::string ToolBusyText(std::string_view name) {
  return "Another copy of Rk5 Helper is working on " + std::string(name) + "!";
}
inline constexpr const char* kUninstallFailedText = "Error while uninstalling file!";
inline std::string NotComponentText(std::string_view section) {
  return "''" + std::string(section) + "'' is not a valid component name.";
}

}  // namespace rk5
