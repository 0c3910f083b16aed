// Write beside, then rename: the one way this program replaces a file. The temporary file
// lies in the target's folder (a rename never crosses file systems) under the target's
// name plus ".tmp-" and six random characters, or under a short name of our own when the
// target's name is too long for that. Its writer holds a lock on it until it is renamed
// or removed; the kernel drops the lock when the writer dies, so a temporary whose lock
// can be taken is a killed writer's leftover, and the next writer of the target removes it.
#include "platform/staged_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <optional>
#include <unordered_map>
#include <vector>

#include "platform/atomic_file.h"
#include "platform/creation_mask.h"
#include "platform/posix/file_descriptor.h"
#include "platform/text.h"

namespace rk5::platform {
namespace {

constexpr std::string_view kTempMark = ".tmp-";
constexpr std::size_t kTempRandom = 6;  // mkstemp's XXXXXX

std::string NameOf(const std::string& path) { return path.substr(FolderOfPath(path).size()); }

// A name of the pattern of prefix's temporaries: prefix and the six random characters.
bool IsTemporaryOf(std::string_view name, std::string_view prefix) {
  return name.size() == prefix.size() + kTempRandom && name.substr(0, prefix.size()) == prefix;
}

// Two handles name the same file.
bool SameFile(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Removes the temporary at path when no live writer holds its lock, and only while the
// name still leads to the file whose lock was taken.
void RemoveIfAbandoned(const std::string& path) {
  const FileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY));
  struct stat held {}, named {};
  if (!file.valid() || ::fstat(file.get(), &held) != 0 || !S_ISREG(held.st_mode) ||
      ::flock(file.get(), LOCK_EX | LOCK_NB) != 0) {
    return;
  }
  if (::lstat(path.c_str(), &named) == 0 && SameFile(held, named)) ::unlink(path.c_str());
}

// The names in folder that look like any writer's temporary ("*.tmp-" and six characters).
std::vector<std::string> TemporaryNames(const std::string& folder) {
  std::vector<std::string> names;
  DIR* dir = ::opendir(folder.empty() ? "." : folder.c_str());
  if (dir == nullptr) return names;
  while (const dirent* entry = ::readdir(dir)) {
    const std::string_view name = entry->d_name;
    const std::size_t mark = name.rfind(kTempMark);
    if (mark != std::string_view::npos && mark + kTempMark.size() + kTempRandom == name.size()) {
      names.emplace_back(name);
    }
  }
  ::closedir(dir);
  return names;
}

// Takes the writer's lock. A file system without such locks has no sweep either, so the
// temporary goes without one.
bool Lock(int fd) {
  if (::flock(fd, LOCK_EX) == 0) return true;
  return errno == ENOLCK || errno == EOPNOTSUPP || errno == ENOSYS || errno == EINVAL;
}

// A new empty file beside target, readable and writable with mode and locked for its
// writer through the returned descriptor; -1 when none can be made.
int CreateTemporary(const std::string& target, mode_t mode, std::string& temp) {
  const std::string folder = FolderOfPath(target);
  for (const std::string& name : {NameOf(target) + std::string(kTempMark), std::string(".rk5")}) {
    std::string pattern = folder + name + std::string(kTempRandom, 'X');
    for (int attempt = 0; attempt < 8; ++attempt) {
      std::vector<char> buffer(pattern.begin(), pattern.end());
      buffer.push_back('\0');
      int fd = ::mkostemp(buffer.data(), O_CLOEXEC);
      if (fd < 0) {
        if (errno == ENAMETOOLONG) break;
        return -1;
      }
      temp.assign(buffer.data());
      // A sweep may have taken the new file for a leftover before our lock: then the name
      // leads elsewhere or nowhere, and a fresh name is made.
      struct stat held {}, named {};
      const bool ours = Lock(fd) && ::fstat(fd, &held) == 0 &&
                        ::lstat(temp.c_str(), &named) == 0 && SameFile(held, named);
      if (!ours) {
        ::close(fd);
        continue;
      }
      if (::fchmod(fd, mode) != 0) {
        ::close(fd);
        ::unlink(temp.c_str());
        return -1;
      }
      return fd;
    }
  }
  return -1;
}

class PosixStagedFile final : public StagedFile {
 public:
  // The lock lives on a second descriptor of the same open file, so it outlasts Close()
  // until the temporary is renamed or removed.
  PosixStagedFile(int fd, std::string temp, std::string target)
      : fd_(fd), lock_(::dup(fd)), temp_(std::move(temp)), target_(std::move(target)) {}
  ~PosixStagedFile() override { Discard(); }

  bool Locked() const { return lock_.valid(); }
  const std::string& TempPath() const override { return temp_; }
  const std::string& Target() const override { return target_; }

  bool Write(const char* data, std::size_t size) override {
    if (fd_ < 0) return false;
    while (size > 0) {
      ssize_t n = ::write(fd_, data, size);
      if (n < 0) {
        if (errno == EINTR) continue;
        return false;
      }
      data += n;
      size -= static_cast<std::size_t>(n);
    }
    return true;
  }

  // Data on the disk before the rename, so that a crash cannot leave an empty target.
  bool Sync() { return fd_ >= 0 && ::fsync(fd_) == 0; }

  bool Close() override {
    if (fd_ < 0) return false;
    int fd = fd_;
    fd_ = -1;
    return ::close(fd) == 0;
  }

  bool MoveOverTarget() override {
    if (fd_ >= 0 || done_) return false;
    if (::rename(temp_.c_str(), target_.c_str()) != 0) return false;
    done_ = true;
    lock_.Reset();
    return true;
  }

  void Discard() override {
    if (fd_ >= 0) {
      ::close(fd_);
      fd_ = -1;
    }
    if (!done_) {
      ::unlink(temp_.c_str());
      done_ = true;
    }
    lock_.Reset();
  }

 private:
  int fd_;
  FileDescriptor lock_;
  bool done_ = false;  // moved over the target or removed
  std::string temp_;
  std::string target_;
};

std::unique_ptr<PosixStagedFile> StageWithMode(const std::string& target, mode_t mode) {
  std::string temp;
  int fd = CreateTemporary(target, mode, temp);
  if (fd < 0) return nullptr;
  auto staged = std::make_unique<PosixStagedFile>(fd, std::move(temp), target);
  if (!staged->Locked()) return nullptr;  // discards the temporary
  return staged;
}

class PosixFileStager final : public FileStager {
 public:
  // Without a mask, the one the system tells at each file.
  explicit PosixFileStager(std::optional<unsigned> creation_mask) : mask_(creation_mask) {}
  std::unique_ptr<StagedFile> Stage(const std::string& target) override {
    SweepBefore(target);
    const unsigned mask = mask_ ? *mask_ : CreationMaskNow();
    return StageWithMode(target, 0666 & ~static_cast<mode_t>(mask));
  }

 private:
  // Leftovers of target's killed writers go before its first new temporary. Each folder is
  // read once, so staging many files into one folder stays linear.
  void SweepBefore(const std::string& target) {
    const std::string folder = FolderOfPath(target);
    auto [it, first] = leftovers_.try_emplace(folder);
    if (first) it->second = TemporaryNames(folder);
    std::vector<std::string>& names = it->second;
    const std::string prefix = NameOf(target) + std::string(kTempMark);
    for (auto name = names.begin(); name != names.end();) {
      if (IsTemporaryOf(*name, prefix)) {
        RemoveIfAbandoned(folder + *name);
        name = names.erase(name);
      } else {
        ++name;
      }
    }
  }

  // Per folder, the temporaries' names not yet looked at.
  std::unordered_map<std::string, std::vector<std::string>> leftovers_;
  std::optional<unsigned> mask_;
};

}  // namespace

std::unique_ptr<FileStager> MakeFileStager(unsigned creation_mask) {
  return std::make_unique<PosixFileStager>(creation_mask);
}

std::unique_ptr<FileStager> MakeFileStager() {
  return std::make_unique<PosixFileStager>(std::nullopt);
}

bool ReplaceFileAtomically(const std::string& path, std::string_view bytes) {
  // Keep the old file's permission bits; a new file gets the usual 0644 less the umask.
  struct stat old {};
  const mode_t mode = ::stat(path.c_str(), &old) == 0
                          ? (old.st_mode & 07777)
                          : (0644 & ~static_cast<mode_t>(CreationMaskNow()));
  std::unique_ptr<PosixStagedFile> staged = StageWithMode(path, mode);
  if (!staged) return false;
  if (!staged->Write(bytes.data(), bytes.size()) || !staged->Sync() || !staged->Close() ||
      !staged->MoveOverTarget()) {
    return false;  // the staged file removes its temporary
  }
  const std::string folder = FolderOfPath(path);
  int dir = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    ::fsync(dir);  // the rename itself reaches the disk
    ::close(dir);
  }
  return true;
}

void RemoveLeftoverTemporaries(const std::string& path) {
  const std::string prefix = NameOf(path) + std::string(kTempMark);
  const std::string folder = FolderOfPath(path);
  for (const std::string& name : TemporaryNames(folder)) {
    if (IsTemporaryOf(name, prefix)) RemoveIfAbandoned(folder + name);
  }
}

}  // namespace rk5::platform
