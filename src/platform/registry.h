#pragma once
// The registry as the program uses it: keys under HKEY_LOCAL_MACHINE or HKEY_CURRENT_USER
// opened for full access (created when missing), string values tested, read and written.
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>

namespace rk5::platform {

enum class RegistryRoot { LocalMachine, CurrentUser };

// "HKEY_LOCAL_MACHINE", "HKEY_CURRENT_USER"
inline std::string_view RootName(RegistryRoot root) {
  return root == RegistryRoot::LocalMachine ? "HKEY_LOCAL_MACHINE" : "HKEY_CURRENT_USER";
}

// Raised by a write that did not reach the registry.
class RegistryError : public std::runtime_error {
 public:
  explicit RegistryError(const std::string& value_name)
      : std::runtime_error("Failed to set data for '" + value_name + "'") {}
};

// The system's own keys and values that the program reads: the folder programs are
// installed under, and this user's desktop and applications menu.
inline constexpr std::string_view kWindowsKey = "\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\";
inline constexpr std::string_view kProgramFilesValue = "ProgramFilesDir";
inline constexpr std::string_view kShellFoldersKey =
    "\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
inline constexpr std::string_view kDesktopValue = "Desktop";
inline constexpr std::string_view kProgramsValue = "Programs";

class RegistryKey {
 public:
  virtual ~RegistryKey() = default;
  virtual bool ValueExists(std::string_view name) const = 0;
  virtual std::string ReadString(std::string_view name) const = 0;  // missing reads empty
  virtual void WriteString(std::string_view name, std::string_view value) = 0;  // RegistryError
};

class Registry {
 public:
  virtual ~Registry() = default;
  // Opens root + path ("\SOFTWARE\Rk5Helper\"), creating the key when missing; nullptr
  // when it can be neither opened nor created.
  virtual std::unique_ptr<RegistryKey> OpenKey(RegistryRoot root, std::string_view path) = 0;
};

// The string value name of root + path; empty when the key cannot be opened or lacks it.
inline std::string ReadRegistryString(Registry& registry, RegistryRoot root, std::string_view path,
                                      std::string_view name) {
  auto key = registry.OpenKey(root, path);
  return key ? key->ReadString(name) : std::string();
}

}  // namespace rk5::platform
