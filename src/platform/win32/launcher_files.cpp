// Launchers as the shell's own links (".lnk"), written through its link object: every
// field the program gives, hot key and show state included.
#include "platform/launcher_files.h"

#include <algorithm>

#include <windows.h>
#include <shlobj.h>
#include <shobjidl.h>

#include "platform/win32/com_apartment.h"
#include "platform/win32/staged_names.h"
#include "platform/win32/wide_text.h"

namespace rk5::platform {
namespace {

constexpr char kExtension[] = ".lnk";
// A link's own name within its folder; the shell's file name bound.
constexpr std::size_t kLongestFileName = 255;
// The link format stores its texts in fields of this many characters.
constexpr std::size_t kLongestLinkText = INFOTIPSIZE - 1;

bool HasControl(std::string_view text) {
  for (unsigned char c : text) {
    if (c < 0x20 || c == 0x7f) return true;
  }
  return false;
}

// The link's show command for the program's show state (0 normal, 1 minimised, 2
// maximised).
int ShowCommand(unsigned show_state) {
  switch (show_state) {
    case 1: return SW_SHOWMINNOACTIVE;
    case 2: return SW_SHOWMAXIMIZED;
    default: return SW_SHOWNORMAL;
  }
}

template <class T>
struct Released {
  T* object = nullptr;
  ~Released() {
    if (object != nullptr) object->Release();
  }
};

// Every text the link keeps, in the system's form; false when one cannot be kept whole.
struct LinkTexts {
  std::wstring target, arguments, folder, description, icon;
  bool Fill(const Launcher& launcher) {
    target = WidePath(launcher.target);
    arguments = Widen(launcher.arguments);
    folder = WidePath(launcher.working_folder);
    description = Widen(launcher.description);
    icon = WidePath(launcher.icon_file);
    auto kept = [](const std::wstring& wide, const std::string& text) {
      return (wide.empty() == text.empty()) && wide.size() <= kLongestLinkText;
    };
    return kept(target, launcher.target) && kept(arguments, launcher.arguments) &&
           kept(folder, launcher.working_folder) && kept(description, launcher.description) &&
           kept(icon, launcher.icon_file);
  }
};

bool SaveLink(const LinkTexts& texts, const Launcher& launcher, const std::wstring& file) {
  Released<IShellLinkW> link;
  if (FAILED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                reinterpret_cast<void**>(&link.object)))) {
    return false;
  }
  IShellLinkW& l = *link.object;
  if (FAILED(l.SetPath(texts.target.c_str())) || FAILED(l.SetArguments(texts.arguments.c_str())) ||
      FAILED(l.SetWorkingDirectory(texts.folder.c_str())) ||
      FAILED(l.SetDescription(texts.description.c_str())) ||
      (!texts.icon.empty() && FAILED(l.SetIconLocation(texts.icon.c_str(), launcher.icon_index))) ||
      FAILED(l.SetHotkey(static_cast<WORD>(launcher.hot_key))) ||
      FAILED(l.SetShowCmd(ShowCommand(launcher.show_state)))) {
    return false;
  }
  Released<IPersistFile> persist;
  if (FAILED(l.QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&persist.object)))) return false;
  return SUCCEEDED(persist.object->Save(file.c_str(), TRUE));
}

// The file name of the program the link at file starts; empty when it cannot be read.
std::string ProgramOfLink(const std::wstring& file) {
  Released<IShellLinkW> link;
  if (FAILED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                reinterpret_cast<void**>(&link.object)))) {
    return {};
  }
  Released<IPersistFile> persist;
  if (FAILED(link.object->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&persist.object))) ||
      FAILED(persist.object->Load(file.c_str(), STGM_READ))) {
    return {};
  }
  // Through the item list: the path text may come back in the ANSI code page.
  PIDLIST_ABSOLUTE items = nullptr;
  wchar_t target[MAX_PATH] = {};
  const bool read = SUCCEEDED(link.object->GetIDList(&items)) && ::SHGetPathFromIDListW(items, target);
  ::CoTaskMemFree(items);
  if (!read) return {};
  const std::wstring_view whole = target;
  const std::size_t slash = whole.find_last_of(L"\\/");
  return Narrow(slash == std::wstring_view::npos ? whole : whole.substr(slash + 1));
}

bool SameName(const std::string& a, const std::string& b) {
  const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                            [&](char x, char y) { return lower(x) == lower(y); });
}

class Win32LauncherFiles final : public LauncherFiles {
 public:
  bool RemoveIfStarting(const std::string& folder, const std::string& name,
                        const std::string& program) override {
    const bool ends_in_separator = !folder.empty() && (folder.back() == '\\' || folder.back() == '/');
    const std::wstring file = WidePath(folder + (ends_in_separator ? "" : "\\") + FileName(name));
    if (file.empty()) return true;
    const DWORD attributes = ::GetFileAttributesW(file.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES ||
        (attributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) != 0) {
      return true;  // nothing there, or a link or folder that is not ours to remove
    }
    const ComApartment com;
    if (!com.usable() || !SameName(ProgramOfLink(file), program)) return true;
    return ::DeleteFileW(file.c_str()) != 0;
  }

  bool Write(const std::string& folder, const std::string& name, const Launcher& launcher) override {
    if (!IsFileName(name) || !IsFolder(folder) || !IsAbsolutePath(launcher.target) ||
        HasControl(launcher.target) || HasControl(launcher.arguments) ||
        HasControl(launcher.working_folder) || launcher.hot_key > 0xffff) {
      return false;
    }
    LinkTexts texts;
    if (!texts.Fill(launcher)) return false;
    const ComApartment com;
    if (!com.usable()) return false;
    // Saved beside the link and moved over it, so a reader sees the old link or the new.
    const bool ends_in_separator = folder.back() == '\\' || folder.back() == '/';
    const std::string file = folder + (ends_in_separator ? "" : "\\") + FileName(name);
    std::string temp;
    FileHandle reserved = CreateTemporary(file, temp);
    if (!reserved.valid() || !reserved.Close()) return false;
    const std::wstring wide_temp = WidePath(temp), wide_file = WidePath(file);
    if (!SaveLink(texts, launcher, wide_temp) ||
        !::MoveFileExW(wide_temp.c_str(), wide_file.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
      ::DeleteFileW(wide_temp.c_str());
      return false;
    }
    return true;
  }

  std::string FileName(const std::string& name) const override { return name + kExtension; }

 private:
  bool IsFileName(const std::string& name) const {
    return !name.empty() && name != "." && name != ".." && !HasControl(name) &&
           name.find_first_of("/\\:*?\"<>|") == std::string::npos && name.back() != '.' &&
           name.back() != ' ' && Widen(FileName(name)).size() <= kLongestFileName;
  }
};

}  // namespace

// Links name their icon file directly; no pictures are kept for them, and the shell shows
// its own icon for a file without one. The mask withholds nothing here.
std::unique_ptr<LauncherFiles> MakeLauncherFiles(const std::string& /*data_folder*/,
                                                 const std::string& /*default_icon*/,
                                                 unsigned /*creation_mask*/) {
  return std::make_unique<Win32LauncherFiles>();
}
std::unique_ptr<LauncherFiles> MakeLauncherFiles(const std::string& data_folder,
                                                 const std::string& default_icon) {
  return MakeLauncherFiles(data_folder, default_icon, 0);
}

}  // namespace rk5::platform
