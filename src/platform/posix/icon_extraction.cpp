#include "platform/icon_extraction.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/posix/icon_beside.h"
#include "platform/posix/icon_byte_source.h"
#include "platform/posix/icon_directory.h"
#include "platform/posix/icon_pe_resources.h"
#include "platform/posix/icon_picture.h"

namespace rk5::platform {
namespace {

// The open file, read where asked and nowhere else.
class FileBytes final : public ByteSource {
 public:
  FileBytes(int fd, uint64_t size) : fd_(fd), size_(size) {}
  uint64_t Size() const override { return size_; }
  bool Read(uint64_t offset, void* out, size_t size) const override {
    if (!Contains(offset, size)) return false;
    auto* to = static_cast<char*>(out);
    while (size > 0) {
      const ssize_t got = ::pread(fd_, to, size, static_cast<off_t>(offset));
      if (got < 0 && errno == EINTR) continue;
      if (got <= 0) return false;  // an error, or the file shrank under us
      to += got;
      offset += static_cast<uint64_t>(got);
      size -= static_cast<size_t>(got);
    }
    return true;
  }

 private:
  int fd_;
  uint64_t size_;
};

class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  ~Descriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

std::optional<IconPicture> FromImageBytes(std::optional<std::vector<uint8_t>> image) {
  if (!image) return std::nullopt;
  return DecodeIconImage(*image);
}

class PosixIconExtraction final : public IconExtraction {
 public:
  bool IsExistingFile(const std::string& path) override {
    struct stat st {};
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
  }

  std::optional<IconPicture> FirstIcon(const std::string& path) override {
    if (std::optional<IconPicture> own = OwnIcon(path)) return own;
    if (std::optional<IconPicture> drawing = ReadDrawing(path)) return drawing;
    // A Linux program has no icons of its own: an image beside it named like it stands in.
    if (!IsExistingFile(path)) return std::nullopt;
    for (const std::string& image : ImagesBeside(path)) {
      if (std::optional<IconPicture> picture = OwnIcon(image)) return picture;
      if (std::optional<IconPicture> picture = ReadDrawing(image)) return picture;
    }
    return std::nullopt;
  }

 private:
  std::optional<IconPicture> OwnIcon(const std::string& path) {
    // Not blocking: a pipe put where the tool should be must not hang the list.
    const Descriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
    if (fd.get() < 0) return std::nullopt;
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_size <= 0) {
      return std::nullopt;
    }
    const FileBytes file(fd.get(), static_cast<uint64_t>(st.st_size));
    if (LooksLikeProgram(file)) return FromImageBytes(FirstProgramIconImage(file));
    if (file.Size() > kMaxIconFileBytes) return std::nullopt;  // no picture worth its cost

    uint8_t head[16] = {};
    const size_t head_bytes = file.Size() < sizeof head ? file.Size() : sizeof head;
    if (!file.Read(0, head, head_bytes)) return std::nullopt;
    const ImageFormat format = SniffImageFormat(std::span<const uint8_t>(head, head_bytes));
    if (format == ImageFormat::kIcon) return FromImageBytes(IconFileImage(file));
    return ReadImageFile(fd.get(), format);
  }
};

}  // namespace

std::unique_ptr<IconExtraction> MakeIconExtraction() {
  return std::make_unique<PosixIconExtraction>();
}

}  // namespace rk5::platform
