#include "platform/program_start.h"

#include <windows.h>
#include <shellapi.h>

#include "platform/formats/command_line.h"
#include "platform/win32/com_apartment.h"
#include "platform/win32/wide_text.h"

namespace rk5::platform {
namespace {

bool HasNul(const std::string& text) { return text.find('\0') != std::string::npos; }

std::string CurrentFolder() {
  std::wstring folder(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = ::GetCurrentDirectoryW(static_cast<DWORD>(folder.size()), folder.data());
    if (n == 0) return {};
    if (n < folder.size()) return Narrow(std::wstring_view(folder.data(), n));
    folder.resize(n);
  }
}

// The shell's default action on the file: a program runs, a document opens in its
// program, an address in the user's browser or mail program. The handler may use COM.
bool Execute(const std::wstring& file, const std::wstring& parameters, const std::wstring& folder,
             int show_command) {
  const ComApartment com;
  SHELLEXECUTEINFOW info{};
  info.cbSize = sizeof info;
  // No error box: the caller tells the user. The started process is not waited for.
  info.fMask = SEE_MASK_FLAG_NO_UI | SEE_MASK_NOASYNC | SEE_MASK_NOCLOSEPROCESS;
  info.lpFile = file.c_str();
  info.lpParameters = parameters.empty() ? nullptr : parameters.c_str();
  info.lpDirectory = folder.empty() ? nullptr : folder.c_str();
  info.nShow = show_command;
  if (!::ShellExecuteExW(&info)) return false;
  if (info.hProcess != nullptr) ::CloseHandle(info.hProcess);
  return true;
}

class Win32ProgramStart final : public ProgramStart {
 public:
  bool Start(const std::string& file, const std::string& parameters, const std::string& folder,
             int show_command) override {
    if (file.empty() || HasNul(file) || HasNul(parameters) || HasNul(folder)) return false;
    const std::string work = folder.empty() ? CurrentFolder() : folder;
    if (work.empty()) return false;
    // Looked up in the working folder only, never through a search path.
    const std::string path = IsAbsolutePath(file) ? file : work + "\\" + file;
    const std::wstring wide_path = WidePath(path);
    const std::wstring wide_parameters = Widen(parameters), wide_work = WidePath(work);
    if (wide_path.empty() || wide_work.empty() || (wide_parameters.empty() && !parameters.empty())) {
      return false;
    }
    // The shell would start the program in this process's folder instead of a missing one.
    const DWORD work_attributes = ::GetFileAttributesW(wide_work.c_str());
    if (work_attributes == INVALID_FILE_ATTRIBUTES || (work_attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
      return false;
    }
    if (::GetFileAttributesW(wide_path.c_str()) == INVALID_FILE_ATTRIBUTES) {
      // A file of that name wins; otherwise an address goes to its handler.
      return IsAddress(file) && Execute(Widen(file), {}, wide_work, show_command);
    }
    return Execute(wide_path, wide_parameters, wide_work, show_command);
  }
};

}  // namespace

std::unique_ptr<ProgramStart> MakeProgramStart() { return std::make_unique<Win32ProgramStart>(); }

}  // namespace rk5::platform
