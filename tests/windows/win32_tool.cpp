// A second process for the Windows tests; the holding modes hold until they are killed.
//   win32_tool report <file> [arguments...]  writes its working folder and arguments to file
//   win32_tool hold-mark <service> <topic>     prints the take's outcome, then holds it
//   win32_tool hold-lock <file>                prints "held" or "free", then holds the lock
#include <windows.h>
#include <shellapi.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/atomic_file.h"
#include "platform/busy_marks.h"
#include "platform/file_lock.h"
#include "platform/win32/wide_text.h"

namespace {

[[noreturn]] void SayAndHold(const char* text) {
  std::printf("%s\n", text);
  std::fflush(stdout);
  ::Sleep(INFINITE);
  std::abort();
}

}  // namespace

int main() {
  int count = 0;
  LPWSTR* wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  std::vector<std::string> args;
  for (int i = 0; i < count; ++i) args.push_back(rk5::platform::Narrow(wide[i]));
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
    SayAndHold(hold.mark ? "Taken" : "NotTaken");
  }
  if (args[1] == "hold-lock") {
    rk5::platform::FileLock lock(args[2], std::chrono::milliseconds(0));
    SayAndHold(lock.held() ? "held" : "free");
  }
  return 2;
}
