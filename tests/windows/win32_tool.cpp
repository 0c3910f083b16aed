// A second process for the Windows tests:
//   win32_tool report <file> [arguments...]  writes its working folder and arguments to file
//   win32_tool hold-mark <service> <topic>     prints the take's outcome, then holds it
//   win32_tool hold-lock <file>                prints "held" or "free", then holds the lock
// The holding modes keep what they hold until they are killed.
#include <windows.h>
#include <shellapi.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/atomic_file.h"
#include "platform/busy_marks.h"
#include "platform/file_lock.h"
#include "platform/win32/wide_text.h"

namespace {

std::vector<std::string> Arguments() {
  int count = 0;
  LPWSTR* wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  std::vector<std::string> arguments;
  for (int i = 0; i < count; ++i) arguments.push_back(rk5::platform::Narrow(wide[i]));
  ::LocalFree(wide);
  return arguments;
}

void Say(const char* text) {
  std::printf("%s\n", text);
  std::fflush(stdout);
}

}  // namespace

int main() {
  const std::vector<std::string> args = Arguments();
  if (args.size() < 3) return 2;
  if (args[1] == "report") {
    wchar_t folder[MAX_PATH] = {};
    ::GetCurrentDirectoryW(MAX_PATH, folder);
    std::string text = rk5::platform::Narrow(folder) + "\n";
    for (std::size_t i = 3; i < args.size(); ++i) text += args[i] + "\n";
    return rk5::platform::ReplaceFileAtomically(args[2], text) ? 0 : 1;
  }
  if (args[1] == "hold-mark" && args.size() == 4) {
    auto marks = rk5::platform::MakeBusyMarks();
    auto hold = marks->TryHold(args[2], args[3]);
    Say(hold.mark ? "Taken" : "NotTaken");
    ::Sleep(INFINITE);
  }
  if (args[1] == "hold-lock") {
    rk5::platform::FileLock lock(args[2], std::chrono::milliseconds(0));
    Say(lock.held() ? "held" : "free");
    ::Sleep(INFINITE);
  }
  return 2;
}
