#pragma once
// Small PE programs, icon files and icon images made in memory for the icon tests: a
// code section, then a resource section with the icons (type 3), icon groups (type 14)
// and a manifest (type 24), laid out as a linker would. The offsets of the structures are
// returned so that tests can damage them.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace rk5::test {

// One image of an icon as its directory declares it, and its bytes (DIB or PNG).
struct IconImageSpec {
  int width = 32;
  int height = 32;
  int bit_count = 32;
  std::string data;
};

struct IconGroupSpec {
  std::string name;  // a named group; empty for one known by id
  uint16_t id = 1;
  std::vector<IconImageSpec> images;
};

struct PeSpec {
  bool pe32_plus = false;
  // In directory order; a linker puts named groups first.
  std::vector<IconGroupSpec> groups;
  uint32_t code_bytes = 0x200;  // the code section before the resources
};

// File offsets in the built program.
struct PeFile {
  std::string bytes;
  size_t pe_header = 0;           // "PE\0\0"
  size_t section_count = 0;       // the header's 16-bit section count
  size_t resource_directory = 0;  // the optional header's resource address and size
  size_t section_table = 0;
  size_t resource_root = 0;         // the root of the resource directory
  uint32_t resource_address = 0;    // its relative virtual address
  size_t group_type_entry = 0;      // the root's entry for icon groups (name, target)
  size_t first_group_entry = 0;     // the first entry of the groups' directory
  size_t first_group_language = 0;  // the first group's language directory
  size_t first_group_data_entry = 0;
  size_t first_group_data = 0;            // the first group's directory bytes
  std::vector<size_t> icon_data_entries;  // the icon images' data entries, by id from 1
  std::vector<size_t> icon_data;          // the icon images' bytes, by id from 1
};

PeFile BuildPe(const PeSpec& recipe);

// An icon file (.ico) holding the images in this order.
std::string BuildIconFile(const std::vector<IconImageSpec>& images);

// A bitmap icon image of pixels (0xAARRGGBB, top row first) at 1, 4, 8, 24 or 32 bits.
// Palettes list the distinct colours of the opaque pixels in order of appearance. The AND
// mask is set where alpha is 0; at 32 bits keep_alpha = false stores all alpha bytes as 0,
// so that only the mask tells transparency. with_mask = false leaves the mask out.
std::string DibIcon(int width, int height, const std::vector<uint32_t>& pixels, int bits,
                    bool keep_alpha = true, bool with_mask = true);
// The same pixels as a PNG file.
std::string PngImage(int width, int height, const std::vector<uint32_t>& pixels);
std::vector<uint32_t> Solid(int width, int height, uint32_t argb);

void PutU16(std::string& bytes, size_t at, uint16_t value);
void PutU32(std::string& bytes, size_t at, uint32_t value);
uint32_t GetU32(const std::string& bytes, size_t at);

}  // namespace rk5::test
