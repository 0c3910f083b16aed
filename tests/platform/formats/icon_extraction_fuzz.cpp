// Fuzz target for the icon search: any bytes as a program, as an icon file and as a
// bitmap image. It must never read out of bounds; a picture, when found, is 32 bits a
// pixel at the size it declares.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "platform/formats/icon_byte_source.h"
#include "platform/formats/icon_dib.h"
#include "platform/formats/icon_directory.h"
#include "platform/formats/icon_pe_resources.h"

namespace {

void Check(const std::optional<rk5::platform::IconPicture>& picture) {
  if (picture && picture->pixels.size() != static_cast<size_t>(picture->width) * picture->height) {
    std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::span<const uint8_t> bytes(data, size);
  const rk5::platform::MemoryByteSource source(bytes);
  if (auto image = rk5::platform::FirstProgramIconImage(source)) {
    Check(rk5::platform::DecodeDibIcon(*image));
  }
  if (auto image = rk5::platform::IconFileImage(source)) {
    Check(rk5::platform::DecodeDibIcon(*image));
  }
  Check(rk5::platform::DecodeDibIcon(bytes));
  return 0;
}
