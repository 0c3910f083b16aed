#pragma once
// Tool icons: the picture a file shows as its first icon, the way the shell's icon
// extraction gives it, for the list's dimmed icons.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace rk5::platform {

// The side of every extracted icon picture.
inline constexpr int kIconPictureSize = 32;
// An image file larger than this, or a picture wider or taller than kMaxIconSourceSide
// (as its header says, before anything is decoded), gives no icon: filling the list
// stays cheap whatever the entries name.
inline constexpr std::uint64_t kMaxIconFileBytes = 1u << 20;
inline constexpr int kMaxIconSourceSide = 256;

// Pixels 0xAARRGGBB with straight (not premultiplied) alpha, row by row from the top.
struct IconPicture {
  int width = 0;
  int height = 0;
  std::vector<uint32_t> pixels;
};

class IconExtraction {
 public:
  virtual ~IconExtraction() = default;
  // A file (or a link to one) is at path; folders, devices and pipes are not files.
  virtual bool IsExistingFile(const std::string& path) = 0;
  // The file's first icon (index 0) as a 32 × 32 picture: a program's first icon
  // resource, or an image file's own picture. None for anything else, and for a damaged
  // or lying file.
  virtual std::optional<IconPicture> FirstIcon(const std::string& path) = 0;
};

std::unique_ptr<IconExtraction> MakeIconExtraction();

}  // namespace rk5::platform
