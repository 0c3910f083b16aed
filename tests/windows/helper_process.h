#pragma once
// The test tool (win32_tool.exe beside the test) run as a second process whose first line
// of output says it is ready.
#include <windows.h>

#include <string>

#include "platform/process_info.h"
#include "platform/text.h"
#include "platform/win32/wide_text.h"

namespace rk5::test {

inline std::string ToolPath() {
  return platform::FolderPart(platform::ExecutablePath()) + "win32_tool.exe";
}

class HelperProcess {
 public:
  // Starts the tool with command_line after its own name and waits for its first line.
  explicit HelperProcess(const std::string& command_line) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE write_end = nullptr;
    if (!::CreatePipe(&read_end_, &write_end, &inherit, 0)) return;
    ::SetHandleInformation(read_end_, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = write_end;
    startup.hStdError = write_end;
    std::wstring line = platform::Widen("\"" + ToolPath() + "\" " + command_line);
    if (::CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr,
                         nullptr, &startup, &process_)) {
      ::CloseHandle(process_.hThread);
    } else {
      process_.hProcess = nullptr;
    }
    ::CloseHandle(write_end);
    char c = 0;
    DWORD n = 0;
    while (::ReadFile(read_end_, &c, 1, &n, nullptr) && n == 1 && c != '\n') {
      if (c != '\r') first_line_ += c;
    }
  }
  ~HelperProcess() {
    Kill();
    if (read_end_ != nullptr) ::CloseHandle(read_end_);
  }
  HelperProcess(const HelperProcess&) = delete;
  HelperProcess& operator=(const HelperProcess&) = delete;

  const std::string& first_line() const { return first_line_; }

  // Ends it as a crash would, and waits until the system has closed its handles.
  void Kill() {
    if (process_.hProcess == nullptr) return;
    ::TerminateProcess(process_.hProcess, 9);
    ::WaitForSingleObject(process_.hProcess, INFINITE);
    ::CloseHandle(process_.hProcess);
    process_.hProcess = nullptr;
  }

 private:
  HANDLE read_end_ = nullptr;
  PROCESS_INFORMATION process_{};
  std::string first_line_;
};

}  // namespace rk5::test
