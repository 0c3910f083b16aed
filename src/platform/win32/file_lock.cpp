#include "platform/file_lock.h"

#include <windows.h>

#include <algorithm>
#include <thread>

#include "platform/win32/file_handle.h"
#include "platform/win32/wide_text.h"

namespace rk5::platform {
namespace {

// Between tries while another copy holds the lock: short at first, since most writes
// take milliseconds, then longer so that a long wait costs no processor time.
constexpr std::chrono::milliseconds kFirstPause{1};
constexpr std::chrono::milliseconds kLongestPause{50};

// The lock file is opened as itself, never through a link or junction (a planted one
// would make us create or lock its target); a folder or device in its place is refused.
FileHandle OpenLockFile(const std::string& name) {
  const std::wstring wide = WidePath(name);
  if (wide.empty()) return {};
  FileHandle file(::CreateFileW(wide.c_str(), GENERIC_READ | GENERIC_WRITE, kShareAll, nullptr, OPEN_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  BY_HANDLE_FILE_INFORMATION info{};
  if (!file.valid() || !IsDiskFile(file.get()) || !::GetFileInformationByHandle(file.get(), &info) ||
      (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
    return {};
  }
  return file;
}

bool TryLock(HANDLE file) {
  OVERLAPPED whole{};
  return ::LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, MAXDWORD, MAXDWORD,
                      &whole) != 0;
}

}  // namespace

// The system drops a lock when its handle closes, and when the holding process ends.
struct FileLock::Held {
  explicit Held(FileHandle handle) : file(std::move(handle)) {}
  FileHandle file;
};

FileLock::FileLock(const std::string& locked_file, std::chrono::milliseconds wait) {
  FileHandle file = OpenLockFile(locked_file + ".lock");
  if (!file.valid()) return;
  const auto deadline = std::chrono::steady_clock::now() + wait;
  std::chrono::milliseconds pause = kFirstPause;
  while (!TryLock(file.get())) {
    if (::GetLastError() != ERROR_LOCK_VIOLATION) return;
    const auto now = std::chrono::steady_clock::now();
    if (now >= deadline) return;
    std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(pause, deadline - now));
    pause = std::min(pause * 2, kLongestPause);
  }
  held_ = std::make_unique<Held>(std::move(file));
}

FileLock::~FileLock() = default;

}  // namespace rk5::platform
