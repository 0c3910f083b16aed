#include "platform/file_copy.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "platform/posix/file_descriptor.h"
#include "platform/posix/staged_commit.h"
#include "platform/staged_file.h"

namespace rk5::platform {
namespace {

constexpr std::size_t kBlockBytes = 1 << 16;

bool IsFolder(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// A folder as the target gets the source's own name in it.
std::string TargetFile(const std::string& source, const std::string& target) {
  if (!IsFolder(target)) return target;
  const std::size_t slash = source.find_last_of('/');
  const std::string name = slash == std::string::npos ? source : source.substr(slash + 1);
  if (name.empty()) return {};
  return target.back() == '/' ? target + name : target + "/" + name;
}

// Reads source to its end (a short read is not the end, only an empty one is).
bool CopyBytes(int source, StagedFile& staged) {
  std::vector<char> block(kBlockBytes);
  for (;;) {
    const ssize_t got = ::read(source, block.data(), block.size());
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return false;
    if (got == 0) return true;
    if (!staged.Write(block.data(), static_cast<std::size_t>(got))) return false;
  }
}

class PosixFileCopy final : public FileCopy {
 public:
  explicit PosixFileCopy(std::unique_ptr<FileStager> stager) : stager_(std::move(stager)) {}

  bool Copy(const std::string& source, const std::string& target, bool make_executable) override {
    if (source.empty() || target.empty()) return false;
    const std::string file = TargetFile(source, target);
    if (file.empty()) return false;
    // Not blocking on open: a pipe or device put where the file should be is refused.
    const FileDescriptor from(::open(source.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
    struct stat st {};
    if (!from.valid() || ::fstat(from.get(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    std::unique_ptr<StagedFile> staged = stager_->Stage(file);
    return staged && CopyBytes(from.get(), *staged) && CommitStaged(*staged, make_executable);
  }

 private:
  std::unique_ptr<FileStager> stager_;
};

}  // namespace

std::unique_ptr<FileCopy> MakeFileCopy(unsigned creation_mask) {
  return std::make_unique<PosixFileCopy>(MakeFileStager(creation_mask));
}

std::unique_ptr<FileCopy> MakeFileCopy() {
  return std::make_unique<PosixFileCopy>(MakeFileStager());
}

}  // namespace rk5::platform
