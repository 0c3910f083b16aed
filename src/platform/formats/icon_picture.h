#pragma once
// Icon images and image files turned into the 32 × 32 picture the list draws.
#include <cstdint>
#include <optional>
#include <span>

#include "platform/formats/icon_byte_source.h"
#include "platform/icon_extraction.h"

namespace rk5::platform {

// The image formats recognised by their first bytes; anything else is no image.
enum class ImageFormat { kNone, kPng, kJpeg, kGif, kBmp, kIcon };
ImageFormat SniffImageFormat(std::span<const uint8_t> head);

// Fitted into 32 × 32: scaled, keeping its proportions, and centred on transparency.
IconPicture FitToIconSize(const IconPicture& picture);

// One image of an icon (PNG or DIB), fitted to 32 × 32.
std::optional<IconPicture> DecodeIconImage(std::span<const uint8_t> data);

// An image file of at most kMaxIconFileBytes, read as format, fitted to 32 × 32.
std::optional<IconPicture> ReadImage(const ByteSource& file, ImageFormat format);

}  // namespace rk5::platform
