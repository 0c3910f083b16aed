#pragma once
// Pictures and programs the icon tests build, and how they compare what comes out.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/icon_extraction.h"
#include "support/pe_builder.h"

namespace rk5::platform::icon_test {

using test::DibIcon;
using test::IconGroupSpec;
using test::IconImageSpec;
using test::PeSpec;
using test::Solid;

inline constexpr uint32_t kRed = 0xFFFF0000u;
inline constexpr uint32_t kGreen = 0xFF00FF00u;
inline constexpr uint32_t kBlue = 0xFF0000FFu;

// Equal pixels, where two fully transparent ones are equal whatever their colour.
inline void ExpectPixels(const IconPicture& picture, const std::vector<uint32_t>& expected) {
  ASSERT_EQ(picture.width, 32);
  ASSERT_EQ(picture.height, 32);
  ASSERT_EQ(picture.pixels.size(), expected.size());
  int wrong = 0;
  for (size_t i = 0; i < expected.size(); ++i) {
    const uint32_t got = picture.pixels[i];
    const bool same = got == expected[i] || ((got >> 24) == 0 && (expected[i] >> 24) == 0);
    if (!same && ++wrong <= 5) {
      ADD_FAILURE() << "pixel " << i % 32 << "," << i / 32 << ": " << std::hex << got
                    << " instead of " << expected[i];
    }
  }
}

inline void ExpectUniform(const std::optional<IconPicture>& picture, uint32_t colour) {
  ASSERT_TRUE(picture.has_value());
  ExpectPixels(*picture, Solid(32, 32, colour));
}

inline IconImageSpec Image(int side, std::string data, int bits = 32) {
  return IconImageSpec{side, side, bits, std::move(data)};
}

inline IconImageSpec SolidDib(int side, uint32_t colour) {
  return Image(side, DibIcon(side, side, Solid(side, side, colour), 32));
}

inline PeSpec OneGroup(std::vector<IconImageSpec> images, bool pe32_plus = false) {
  PeSpec recipe;
  recipe.pe32_plus = pe32_plus;
  recipe.groups.push_back(IconGroupSpec{"", 1, std::move(images)});
  return recipe;
}

}  // namespace rk5::platform::icon_test
