#include "platform/staged_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <random>

namespace rk5::platform {
namespace {

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

class PosixFileStager final : public FileStager {
 public:
  PosixFileStager() : random_(std::random_device{}()) {}

  std::unique_ptr<StagedFile> Stage(const std::string& target) override {
    std::size_t slash = target.find_last_of('/');
    std::string folder = slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
    // A short name of our own, so that a target name near the length limit still works.
    for (int attempt = 0; attempt < 100; ++attempt) {
      char name[32];
      std::snprintf(name, sizeof name, ".rk5-%012llx",
                    static_cast<unsigned long long>(random_() & 0xffffffffffffULL));
      std::string temp = folder + name;
      int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
      if (fd >= 0) return std::make_unique<PosixStagedFile>(fd, std::move(temp), target);
      if (errno != EEXIST) return nullptr;
    }
    return nullptr;
  }

 private:
  std::mt19937_64 random_;
};

}  // namespace

std::unique_ptr<FileStager> MakeFileStager() { return std::make_unique<PosixFileStager>(); }

}  // namespace rk5::platform
