// Write beside, then rename: the one way this program replaces a file. The rename is
// MoveFileExW with replace and write-through, so it reaches the disk before it returns.
#include "platform/staged_file.h"

#include <windows.h>

#include <algorithm>
#include <random>
#include <vector>

#include "platform/atomic_file.h"
#include "platform/win32/file_handle.h"
#include "platform/win32/staged_names.h"
#include "platform/win32/wide_text.h"

namespace rk5::platform {
namespace {

// Tries before giving up on finding a free name: each collides only with another writer's
// temporary of the same target.
constexpr int kNameTries = 32;
constexpr std::string_view kRandomLetters = "abcdefghijklmnopqrstuvwxyz0123456789";

std::string RandomSuffix(std::mt19937& random) {
  std::uniform_int_distribution<std::size_t> pick(0, kRandomLetters.size() - 1);
  std::string suffix;
  for (std::size_t i = 0; i < kTempRandom; ++i) suffix += kRandomLetters[pick(random)];
  return suffix;
}

// FILE_RENAME_INFO with its flags, and its class, which these headers give only to
// builds for Windows 10 alone.
struct RenameInfoEx {
  DWORD flags;
  HANDLE root_directory;
  DWORD file_name_length;
  WCHAR file_name[1];
};
constexpr auto kRenameInfoEx = static_cast<FILE_INFO_BY_HANDLE_CLASS>(22);
constexpr DWORD kReplaceIfExists = 0x1, kPosixSemantics = 0x2;

// Replaced the way other systems rename: readers that have the old file open (shared
// for delete, as all of ours) keep reading it, and the new one takes the name at once.
// Windows 10 and later on NTFS; false where the system does not offer it (Wine does not).
bool RenameOverWhileRead(const std::wstring& from, const std::wstring& to) {
  // The system takes the new name in its own form: "\??\" and the full path.
  std::wstring full(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = ::GetFullPathNameW(to.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    if (n == 0) return false;
    if (n < full.size()) {
      full.resize(n);
      break;
    }
    full.resize(n);
  }
  std::wstring name;
  if (full.rfind(L"\\\\?\\", 0) == 0) {
    name = L"\\??\\" + full.substr(4);
  } else if (full.rfind(L"\\\\", 0) == 0) {
    name = L"\\??\\UNC\\" + full.substr(2);
  } else {
    name = L"\\??\\" + full;
  }
  FileHandle file(::CreateFileW(from.c_str(), DELETE | SYNCHRONIZE, kShareAll, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) return false;
  const std::size_t name_bytes = name.size() * sizeof(wchar_t);
  std::vector<unsigned char> buffer(sizeof(RenameInfoEx) + name_bytes, 0);
  auto* rename = reinterpret_cast<RenameInfoEx*>(buffer.data());
  rename->flags = kReplaceIfExists | kPosixSemantics;
  rename->file_name_length = static_cast<DWORD>(name_bytes);
  std::copy(name.begin(), name.end(), rename->file_name);
  return ::SetFileInformationByHandle(file.get(), kRenameInfoEx, rename, static_cast<DWORD>(buffer.size())) != 0;
}

// Elsewhere a target that a reader has open cannot be replaced until the reader closes
// it; readers of the program's files hold them for milliseconds, so the move is tried
// again a while.
constexpr int kMoveTries = 40;
constexpr DWORD kLongestMovePause = 50;  // ms; about a second in all

bool MoveOver(const std::string& from, const std::string& to) {
  const std::wstring wide_from = WidePath(from), wide_to = WidePath(to);
  if (wide_from.empty() || wide_to.empty()) return false;
  if (RenameOverWhileRead(wide_from, wide_to)) return true;
  DWORD pause = 1;
  for (int attempt = 0; attempt < kMoveTries; ++attempt) {
    if (::MoveFileExW(wide_from.c_str(), wide_to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
      return true;
    }
    const DWORD error = ::GetLastError();
    if (error != ERROR_ACCESS_DENIED && error != ERROR_SHARING_VIOLATION) return false;
    ::Sleep(pause);
    pause = std::min<DWORD>(pause * 2, kLongestMovePause);
  }
  return false;
}

class Win32StagedFile final : public StagedFile {
 public:
  Win32StagedFile(FileHandle file, std::string temp, std::string target)
      : file_(std::move(file)), temp_(std::move(temp)), target_(std::move(target)) {}
  ~Win32StagedFile() override { Discard(); }

  const std::string& TempPath() const override { return temp_; }
  const std::string& Target() const override { return target_; }

  bool Write(const char* data, std::size_t size) override {
    if (!file_.valid()) return false;
    while (size > 0) {
      const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(size, 1u << 30));
      DWORD written = 0;
      if (!::WriteFile(file_.get(), data, chunk, &written, nullptr) || written == 0) return false;
      data += written;
      size -= written;
    }
    return true;
  }

  // The bytes reach the disk before the rename, so a crash cannot leave an empty target.
  bool Close() override {
    if (!file_.valid()) return false;
    const bool flushed = ::FlushFileBuffers(file_.get()) != 0;
    return file_.Close() && flushed;
  }

  bool MoveOverTarget() override {
    if (file_.valid() || done_ || !MoveOver(temp_, target_)) return false;
    done_ = true;
    return true;
  }

  void Discard() override {
    file_.Close();
    if (!done_) {
      ::DeleteFileW(WidePath(temp_).c_str());
      done_ = true;
    }
  }

 private:
  FileHandle file_;
  bool done_ = false;  // moved over the target or removed
  std::string temp_;
  std::string target_;
};

class Win32FileStager final : public FileStager {
 public:
  std::unique_ptr<StagedFile> Stage(const std::string& target) override {
    std::string temp;
    FileHandle file = CreateTemporary(target, temp);
    if (!file.valid()) return nullptr;
    return std::make_unique<Win32StagedFile>(std::move(file), std::move(temp), target);
  }
};

}  // namespace

FileHandle CreateTemporary(const std::string& target, std::string& temp) {
  const std::string folder = FolderPart(target);
  std::random_device seed;
  std::mt19937 random(seed());
  for (const std::string& name : {target.substr(folder.size()) + std::string(kTempMark), std::string(".rk5")}) {
    for (int attempt = 0; attempt < kNameTries; ++attempt) {
      const std::string path = folder + name + RandomSuffix(random);
      const std::wstring wide = WidePath(path);
      if (wide.empty()) return {};
      FileHandle file(::CreateFileW(wide.c_str(), GENERIC_WRITE | DELETE, 0, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
      if (file.valid()) {
        temp = path;
        return file;
      }
      const DWORD error = ::GetLastError();
      if (error == ERROR_FILENAME_EXCED_RANGE || error == ERROR_INVALID_NAME) break;  // too long
      if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) return {};
    }
  }
  return {};
}

bool IsTemporaryOf(std::string_view prefix, std::string_view name) {
  return name.size() == prefix.size() + kTempRandom && name.substr(0, prefix.size()) == prefix &&
         name.substr(prefix.size()).find_first_not_of(kRandomLetters) == std::string_view::npos;
}

// The mask withholds nothing here (creation_mask.cpp).
std::unique_ptr<FileStager> MakeFileStager(unsigned /*creation_mask*/) { return std::make_unique<Win32FileStager>(); }
std::unique_ptr<FileStager> MakeFileStager() { return MakeFileStager(0); }

bool ReplaceFileAtomically(const std::string& path, std::string_view bytes) {
  std::unique_ptr<StagedFile> staged = MakeFileStager()->Stage(path);
  return staged && staged->Write(bytes.data(), bytes.size()) && staged->Close() &&
         staged->MoveOverTarget();  // a failed step leaves the temporary to the destructor
}

}  // namespace rk5::platform
