#include <windows.h>

#include <vector>

#include "platform/win32/system_registry.h"
#include "platform/win32/wide_text.h"

namespace rk5::platform {
namespace {

class Win32RegistryKey final : public RegistryKey {
 public:
  explicit Win32RegistryKey(HKEY key) : key_(key) {}
  ~Win32RegistryKey() override { ::RegCloseKey(key_); }
  Win32RegistryKey(const Win32RegistryKey&) = delete;
  Win32RegistryKey& operator=(const Win32RegistryKey&) = delete;

  bool ValueExists(std::string_view name) const override {
    return ::RegQueryValueExW(key_, Widen(name).c_str(), nullptr, nullptr, nullptr, nullptr) ==
           ERROR_SUCCESS;
  }

  // Only string values read; any other kind reads empty, as a missing one does.
  std::string ReadString(std::string_view name) const override {
    const std::wstring wide_name = Widen(name);
    for (int attempt = 0; attempt < 4; ++attempt) {
      DWORD type = 0, size = 0;
      if (::RegQueryValueExW(key_, wide_name.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
          (type != REG_SZ && type != REG_EXPAND_SZ)) {
        return {};
      }
      std::vector<wchar_t> buffer(size / sizeof(wchar_t) + 1, L'\0');
      DWORD got = static_cast<DWORD>(buffer.size() * sizeof(wchar_t));
      const LONG status = ::RegQueryValueExW(key_, wide_name.c_str(), nullptr, &type,
                                             reinterpret_cast<BYTE*>(buffer.data()), &got);
      if (status == ERROR_MORE_DATA) continue;  // grew in between
      if (status != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) return {};
      std::wstring_view value(buffer.data(), got / sizeof(wchar_t));
      // Stored with or without its closing NUL; the text ends at the first one.
      value = value.substr(0, value.find(L'\0'));
      return Narrow(value);
    }
    return {};
  }

  void WriteString(std::string_view name, std::string_view value) override {
    const std::wstring wide_name = Widen(name);
    const std::wstring wide_value = Widen(value);
    if ((wide_name.empty() && !name.empty()) || (wide_value.empty() && !value.empty()) ||
        value.find('\0') != std::string_view::npos) {
      throw RegistryError(std::string(name));
    }
    const DWORD size = static_cast<DWORD>((wide_value.size() + 1) * sizeof(wchar_t));
    if (::RegSetValueExW(key_, wide_name.c_str(), 0, REG_SZ,
                         reinterpret_cast<const BYTE*>(wide_value.c_str()), size) != ERROR_SUCCESS) {
      throw RegistryError(std::string(name));
    }
  }

 private:
  HKEY key_;
};

class Win32Registry final : public Registry {
 public:
  std::unique_ptr<RegistryKey> OpenKey(RegistryRoot root, std::string_view path) override {
    std::wstring sub_key = Widen(path);
    while (!sub_key.empty() && sub_key.front() == L'\\') sub_key.erase(0, 1);
    while (!sub_key.empty() && sub_key.back() == L'\\') sub_key.pop_back();
    if (sub_key.empty() && !path.empty() && path.find_first_not_of('\\') != std::string_view::npos) {
      return nullptr;  // not UTF-8
    }
    const HKEY base = root == RegistryRoot::LocalMachine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
    HKEY key = nullptr;
    if (::RegCreateKeyExW(base, sub_key.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                          nullptr, &key, nullptr) != ERROR_SUCCESS) {
      return nullptr;
    }
    return std::make_unique<Win32RegistryKey>(key);
  }
};

}  // namespace

std::unique_ptr<Registry> MakeSystemRegistry() { return std::make_unique<Win32Registry>(); }

}  // namespace rk5::platform
