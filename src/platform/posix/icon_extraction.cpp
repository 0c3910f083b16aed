#include "platform/icon_extraction.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/formats/icon_beside.h"
#include "platform/formats/icon_byte_source.h"
#include "platform/formats/icon_of_file.h"
#include "platform/posix/file_descriptor.h"

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

// The regular file at path, open without blocking (a pipe put where a tool should be
// must not hang the list); not valid for anything else.
FileDescriptor OpenRegularFile(const std::string& path, uint64_t& size) {
  FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
  struct stat st {};
  if (!fd.valid() || ::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_size <= 0) {
    return {};
  }
  size = static_cast<uint64_t>(st.st_size);
  return fd;
}

// A drawing read by its name's extension (.svg, .xpm); none for any other name.
std::optional<IconPicture> ReadDrawing(const std::string& path) {
  const char* format = DrawingFormat(path);
  if (format == nullptr) return std::nullopt;
  uint64_t size = 0;
  const FileDescriptor fd = OpenRegularFile(path, size);
  if (!fd.valid()) return std::nullopt;
  const std::optional<std::vector<uint8_t>> bytes =
      FileBytes(fd.get(), size).ReadBlock(0, size, kMaxDrawingBytes);
  if (!bytes) return std::nullopt;
  return DecodeDrawing(*bytes, format);
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
    uint64_t size = 0;
    const FileDescriptor fd = OpenRegularFile(path, size);
    if (!fd.valid()) return std::nullopt;
    return IconOfFile(FileBytes(fd.get(), size));
  }
};

}  // namespace

std::unique_ptr<IconExtraction> MakeIconExtraction() {
  return std::make_unique<PosixIconExtraction>();
}

}  // namespace rk5::platform
