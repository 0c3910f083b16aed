// Write beside, then rename: the one way this program replaces a file. The temporary file
// lies in the target's folder (a rename never crosses file systems) under the target's
// name plus ".tmp-" and six random characters, or under a short name of our own when the
// target's name is too long for that.
#include "platform/staged_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <optional>
#include <vector>

#include "platform/atomic_file.h"
#include "platform/creation_mask.h"
#include "platform/text.h"

namespace rk5::platform {
namespace {

constexpr std::string_view kTempMark = ".tmp-";
constexpr std::size_t kTempRandom = 6;  // mkstemp's XXXXXX

std::string NameOf(const std::string& path) { return path.substr(FolderOfPath(path).size()); }

// A new empty file beside target, readable and writable with mode; -1 when none can be made.
int CreateTemporary(const std::string& target, mode_t mode, std::string& temp) {
  const std::string folder = FolderOfPath(target);
  for (const std::string& name : {NameOf(target) + std::string(kTempMark), std::string(".rk5")}) {
    std::string pattern = folder + name + std::string(kTempRandom, 'X');
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    int fd = ::mkostemp(buffer.data(), O_CLOEXEC);
    if (fd < 0) {
      if (errno == ENAMETOOLONG) continue;
      return -1;
    }
    temp.assign(buffer.data());
    if (::fchmod(fd, mode) != 0) {
      ::close(fd);
      ::unlink(temp.c_str());
      return -1;
    }
    return fd;
  }
  return -1;
}

class PosixStagedFile final : public StagedFile {
 public:
  PosixStagedFile(int fd, std::string temp, std::string target)
      : fd_(fd), temp_(std::move(temp)), target_(std::move(target)) {}
  ~PosixStagedFile() override { Discard(); }

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
  }

 private:
  int fd_;
  bool done_ = false;  // moved over the target or removed
  std::string temp_;
  std::string target_;
};

std::unique_ptr<PosixStagedFile> StageWithMode(const std::string& target, mode_t mode) {
  std::string temp;
  int fd = CreateTemporary(target, mode, temp);
  if (fd < 0) return nullptr;
  return std::make_unique<PosixStagedFile>(fd, std::move(temp), target);
}

class PosixFileStager final : public FileStager {
 public:
  // Without a mask, the one the system tells at each file.
  explicit PosixFileStager(std::optional<unsigned> creation_mask) : mask_(creation_mask) {}
  std::unique_ptr<StagedFile> Stage(const std::string& target) override {
    const unsigned mask = mask_ ? *mask_ : CreationMaskNow();
    return StageWithMode(target, 0666 & ~static_cast<mode_t>(mask));
  }

 private:
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
  const std::string folder = FolderOfPath(path);
  const std::string prefix = NameOf(path) + std::string(kTempMark);
  DIR* dir = ::opendir(folder.empty() ? "." : folder.c_str());
  if (dir == nullptr) return;
  while (const dirent* entry = ::readdir(dir)) {
    const std::string_view name = entry->d_name;
    if (name.size() == prefix.size() + kTempRandom && name.substr(0, prefix.size()) == prefix) {
      ::unlink((folder + std::string(name)).c_str());
    }
  }
  ::closedir(dir);
}

}  // namespace rk5::platform
