#include "platform/user_folders.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>

#include "platform/atomic_file.h"

namespace rk5::platform {
namespace {

std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value ? std::string(value) : std::string();
}

std::string Unquote(std::string s) {
  if (s.size() >= 2 && s.front() == '"' && s.back() == '"') s = s.substr(1, s.size() - 2);
  return s;
}

}  // namespace

std::string HomeFolder() {
  std::string home = Env("HOME");
  if (!home.empty()) return home;
  if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir) return pw->pw_dir;
  return "/tmp";
}

std::string ConfigFolder() {
  std::string config = Env("XDG_CONFIG_HOME");
  if (!config.empty() && config.front() == '/') return config;
  return HomeFolder() + "/.config";
}

std::string DataFolder() {
  std::string data = Env("XDG_DATA_HOME");
  if (!data.empty() && data.front() == '/') return data;
  return HomeFolder() + "/.local/share";
}

std::string ApplicationsFolder() { return DataFolder() + "/applications"; }

std::string DesktopFolder() {
  std::string dir = Env("XDG_DESKTOP_DIR");
  if (dir.empty()) {
    // user-dirs.dirs holds lines such as XDG_DESKTOP_DIR="$HOME/Desktop".
    // A file of a few lines; anything much larger is not one.
    constexpr std::size_t kLargestUserDirs = 1 << 20;
    if (auto dirs = ReadWholeFile(ConfigFolder() + "/user-dirs.dirs", kLargestUserDirs)) {
      const std::string key = "XDG_DESKTOP_DIR=";
      std::size_t at = dirs->find(key);
      if (at != std::string::npos && (at == 0 || (*dirs)[at - 1] == '\n')) {
        std::size_t end = dirs->find('\n', at);
        dir = Unquote(dirs->substr(at + key.size(), end == std::string::npos
                                                        ? std::string::npos
                                                        : end - at - key.size()));
        if (dir.rfind("$HOME", 0) == 0) dir = HomeFolder() + dir.substr(5);
      }
    }
  }
  if (dir.empty() || dir.front() != '/') dir = HomeFolder() + "/Desktop";
  while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
  return dir;
}

std::string ProgramFilesFolder() {
  return ::geteuid() == 0 ? std::string("/opt") : HomeFolder() + "/.local/opt";
}

}  // namespace rk5::platform
