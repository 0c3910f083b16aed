#pragma once
// What the Windows tests share: the test tool beside them, a scratch folder and the tool
// run as a second process.
#include <windows.h>

#include <filesystem>
#include <string>

#include "platform/process_info.h"
#include "platform/text.h"
#include "platform/win32/wide_text.h"

namespace rk5::test {

inline std::string ToolPath() { return platform::FolderPart(platform::ExecutablePath()) + "win32_tool.exe"; }

// A folder of its own under the system's temporary folder, removed afterwards.
class Scratch {
 public:
  Scratch() : path_(std::filesystem::temp_directory_path() / ("rk5w-" + std::to_string(::GetCurrentProcessId()) +
                                                              "-" + std::to_string(::GetTickCount64()))) {
    std::filesystem::create_directories(path_);
  }
  ~Scratch() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  std::string operator/(const std::string& name) const { return str() + "\\" + name; }
  std::string str() const { return path_.string(); }

 private:
  std::filesystem::path path_;
};

// The tool started with command_line after its name; its first line says it is ready.
class HelperProcess {
 public:
  explicit HelperProcess(const std::string& command_line) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE read_end = nullptr, write_end = nullptr;
    if (!::CreatePipe(&read_end, &write_end, &inherit, 0)) return;
    ::SetHandleInformation(read_end, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = startup.hStdError = write_end;
    std::wstring line = platform::Widen("\"" + ToolPath() + "\" " + command_line);
    PROCESS_INFORMATION started{};
    if (::CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr, nullptr,
                         &startup, &started)) {
      ::CloseHandle(started.hThread);
      process_ = started.hProcess;
    }
    ::CloseHandle(write_end);
    char c = 0;
    DWORD n = 0;
    while (::ReadFile(read_end, &c, 1, &n, nullptr) && n == 1 && c != '\n') first_line_ += c == '\r' ? "" : std::string(1, c);
    ::CloseHandle(read_end);
  }
  ~HelperProcess() { Kill(); }
  HelperProcess(const HelperProcess&) = delete;
  HelperProcess& operator=(const HelperProcess&) = delete;
  const std::string& first_line() const { return first_line_; }

  // Ends it as a crash would, and waits until the system has closed its handles.
  void Kill() {
    if (process_ == nullptr) return;
    ::TerminateProcess(process_, 9);
    ::WaitForSingleObject(process_, INFINITE);
    ::CloseHandle(process_);
    process_ = nullptr;
  }

 private:
  HANDLE process_ = nullptr;
  std::string first_line_;
};

}  // namespace rk5::test
