// Tool icons through the shell's own extraction: the first icon of a program, a library
// or an icon file, drawn at 32 × 32. Image files need a decoder this layer does not have
// here, and give none.
#include "platform/icon_extraction.h"

#include <windows.h>
#include <shellapi.h>

#include "platform/win32/file_handle.h"
#include "platform/win32/wide_text.h"

namespace rk5::platform {
namespace {

// A 32-bit top-down bitmap that GDI draws into and we read from.
class Canvas {
 public:
  explicit Canvas(std::uint32_t fill) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = kIconPictureSize;
    info.bmiHeader.biHeight = -kIconPictureSize;  // rows from the top
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    dc_ = ::CreateCompatibleDC(nullptr);
    bitmap_ = ::CreateDIBSection(dc_, &info, DIB_RGB_COLORS, reinterpret_cast<void**>(&pixels_), nullptr, 0);
    if (dc_ == nullptr || bitmap_ == nullptr) return;
    old_ = ::SelectObject(dc_, bitmap_);
    std::fill(pixels_, pixels_ + kIconPictureSize * kIconPictureSize, fill);
  }
  ~Canvas() {
    if (old_ != nullptr) ::SelectObject(dc_, old_);
    if (bitmap_ != nullptr) ::DeleteObject(bitmap_);
    if (dc_ != nullptr) ::DeleteDC(dc_);
  }
  Canvas(const Canvas&) = delete;
  Canvas& operator=(const Canvas&) = delete;

  bool Draw(HICON icon, UINT what) {
    return old_ != nullptr &&
           ::DrawIconEx(dc_, 0, 0, icon, kIconPictureSize, kIconPictureSize, 0, nullptr, what) != 0 &&
           ::GdiFlush() != 0;
  }
  const std::uint32_t* pixels() const { return pixels_; }

 private:
  HDC dc_ = nullptr;
  HBITMAP bitmap_ = nullptr;
  HGDIOBJ old_ = nullptr;
  std::uint32_t* pixels_ = nullptr;
};

// The picture with straight alpha: icons with an alpha channel bring their own; older
// ones are opaque wherever their mask is black.
std::optional<IconPicture> PictureOf(HICON icon) {
  Canvas colour(0);
  if (!colour.Draw(icon, DI_NORMAL)) return std::nullopt;
  constexpr int kCount = kIconPictureSize * kIconPictureSize;
  IconPicture picture{kIconPictureSize, kIconPictureSize,
                      std::vector<uint32_t>(colour.pixels(), colour.pixels() + kCount)};
  bool has_alpha = false;
  for (uint32_t pixel : picture.pixels) has_alpha = has_alpha || (pixel >> 24) != 0;
  if (has_alpha) {
    for (uint32_t& pixel : picture.pixels) {
      const uint32_t alpha = pixel >> 24;
      if (alpha == 0) {
        pixel = 0;
        continue;
      }
      // The drawing is premultiplied; the picture is not.
      auto straight = [alpha](uint32_t channel) { return std::min<uint32_t>(255, (channel * 255 + alpha / 2) / alpha); };
      pixel = (alpha << 24) | (straight((pixel >> 16) & 0xff) << 16) | (straight((pixel >> 8) & 0xff) << 8) |
              straight(pixel & 0xff);
    }
    return picture;
  }
  Canvas mask(0xffffffff);
  if (!mask.Draw(icon, DI_MASK)) return std::nullopt;
  for (int i = 0; i < kCount; ++i) {
    const bool opaque = (mask.pixels()[i] & 0xffffff) == 0;
    picture.pixels[i] = opaque ? (0xff000000u | (picture.pixels[i] & 0xffffff)) : 0;
  }
  return picture;
}

class Win32IconExtraction final : public IconExtraction {
 public:
  bool IsExistingFile(const std::string& path) override {
    const std::wstring wide = WidePath(path);
    if (wide.empty()) return false;
    FileHandle file(::CreateFileW(wide.c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    return file.valid() && IsDiskFile(file.get());
  }

  std::optional<IconPicture> FirstIcon(const std::string& path) override {
    if (!IsExistingFile(path)) return std::nullopt;
    HICON large = nullptr;
    if (::ExtractIconExW(WidePath(path).c_str(), 0, &large, nullptr, 1) == 0 || large == nullptr) {
      return std::nullopt;
    }
    std::optional<IconPicture> picture = PictureOf(large);
    ::DestroyIcon(large);
    return picture;
  }
};

}  // namespace

std::unique_ptr<IconExtraction> MakeIconExtraction() { return std::make_unique<Win32IconExtraction>(); }

}  // namespace rk5::platform
