#include "platform/user_folders.h"

#include <windows.h>
#include <shlobj.h>

#include "platform/win32/wide_text.h"

namespace rk5::platform {
namespace {

// The shell's folder, without a trailing separator; empty when it has none.
std::string KnownFolder(REFKNOWNFOLDERID id) {
  PWSTR path = nullptr;
  std::string folder;
  if (SUCCEEDED(::SHGetKnownFolderPath(id, KF_FLAG_CREATE, nullptr, &path))) folder = Narrow(path);
  ::CoTaskMemFree(path);
  while (folder.size() > 3 && (folder.back() == '\\' || folder.back() == '/')) folder.pop_back();
  return folder;
}

}  // namespace

std::string HomeFolder() { return KnownFolder(FOLDERID_Profile); }
// Settings that roam with the user.
std::string ConfigFolder() { return KnownFolder(FOLDERID_RoamingAppData); }
std::string DesktopFolder() { return KnownFolder(FOLDERID_Desktop); }
// Data kept on this machine only.
std::string DataFolder() { return KnownFolder(FOLDERID_LocalAppData); }
std::string ApplicationsFolder() { return KnownFolder(FOLDERID_Programs); }
std::string ProgramFilesFolder() { return KnownFolder(FOLDERID_ProgramFiles); }

}  // namespace rk5::platform
