#include "support/pe_builder.h"

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <algorithm>
#include <cstring>
#include <deque>
#include <stdexcept>

namespace rk5::test {
namespace {

constexpr uint32_t kFileAlignment = 0x200;
constexpr uint32_t kSectionAlignment = 0x1000;
constexpr uint32_t kHeadersBytes = 0x400;
constexpr size_t kPeOffset = 0x80;
constexpr uint32_t kLanguage = 0x409;

uint32_t Align(uint32_t value, uint32_t to) { return (value + to - 1) / to * to; }

// One node of the resource tree: a directory with children, or a language's data.
struct Node {
  uint32_t id = 0;
  std::string name;  // written as a counted UTF-16 string; empty for an id
  std::vector<Node> children;
  bool is_data = false;
  std::string data;
  // Offsets from the resource root, assigned by the layout.
  size_t offset = 0;  // directory table, or data entry
  size_t entry_at = 0;
  size_t name_at = 0;
  size_t data_at = 0;
};

Node Directory(uint32_t id, std::vector<Node> children, std::string name = {}) {
  Node n;
  n.id = id;
  n.name = std::move(name);
  n.children = std::move(children);
  return n;
}

Node Language(std::string data) {
  Node n;
  n.id = kLanguage;
  n.is_data = true;
  n.data = std::move(data);
  return n;
}

// Directories first (breadth first, as linkers write them), then names, data entries
// and the data itself.
std::string LayOut(Node& root, uint32_t section_address) {
  std::vector<Node*> directories;
  std::vector<Node*> leaves;
  std::deque<Node*> queue{&root};
  while (!queue.empty()) {
    Node* n = queue.front();
    queue.pop_front();
    (n->is_data ? leaves : directories).push_back(n);
    for (Node& c : n->children) queue.push_back(&c);
  }
  size_t cursor = 0;
  for (Node* d : directories) {
    d->offset = cursor;
    cursor += 16 + 8 * d->children.size();
  }
  for (Node* d : directories) {
    for (Node& c : d->children) {
      if (c.name.empty()) continue;
      c.name_at = cursor;
      cursor += 2 + 2 * c.name.size();
    }
  }
  cursor = Align(static_cast<uint32_t>(cursor), 4);
  for (Node* l : leaves) {
    l->offset = cursor;
    cursor += 16;
  }
  for (Node* l : leaves) {
    cursor = Align(static_cast<uint32_t>(cursor), 8);
    l->data_at = cursor;
    cursor += l->data.size();
  }

  std::string out(cursor, '\0');
  for (Node* d : directories) {
    const auto named = std::count_if(d->children.begin(), d->children.end(),
                                     [](const Node& c) { return !c.name.empty(); });
    PutU16(out, d->offset + 12, static_cast<uint16_t>(named));
    PutU16(out, d->offset + 14, static_cast<uint16_t>(d->children.size() - named));
    for (size_t i = 0; i < d->children.size(); ++i) {
      Node& c = d->children[i];
      c.entry_at = d->offset + 16 + 8 * i;
      PutU32(out, c.entry_at,
             c.name.empty() ? c.id : 0x80000000u | static_cast<uint32_t>(c.name_at));
      PutU32(out, c.entry_at + 4,
             c.is_data ? static_cast<uint32_t>(c.offset)
                       : 0x80000000u | static_cast<uint32_t>(c.offset));
      if (!c.name.empty()) {
        PutU16(out, c.name_at, static_cast<uint16_t>(c.name.size()));
        for (size_t k = 0; k < c.name.size(); ++k) {
          PutU16(out, c.name_at + 2 + 2 * k, static_cast<uint8_t>(c.name[k]));
        }
      }
    }
  }
  for (Node* l : leaves) {
    PutU32(out, l->offset, section_address + static_cast<uint32_t>(l->data_at));
    PutU32(out, l->offset + 4, static_cast<uint32_t>(l->data.size()));
    std::copy(l->data.begin(), l->data.end(), out.begin() + static_cast<long>(l->data_at));
  }
  return out;
}

void PutDirectoryEntry(std::string& out, size_t at, const IconImageSpec& image) {
  out[at] = static_cast<char>(image.width >= 256 ? 0 : image.width);
  out[at + 1] = static_cast<char>(image.height >= 256 ? 0 : image.height);
  out[at + 2] = static_cast<char>(image.bit_count < 8 ? 1 << image.bit_count : 0);
  PutU16(out, at + 4, 1);
  PutU16(out, at + 6, static_cast<uint16_t>(image.bit_count));
  PutU32(out, at + 8, static_cast<uint32_t>(image.data.size()));
}

std::string GroupBytes(const IconGroupSpec& group, uint16_t first_id) {
  std::string out(6 + 14 * group.images.size(), '\0');
  PutU16(out, 2, 1);
  PutU16(out, 4, static_cast<uint16_t>(group.images.size()));
  for (size_t i = 0; i < group.images.size(); ++i) {
    PutDirectoryEntry(out, 6 + 14 * i, group.images[i]);
    PutU16(out, 6 + 14 * i + 12, static_cast<uint16_t>(first_id + i));
  }
  return out;
}

}  // namespace

void PutU16(std::string& bytes, size_t at, uint16_t value) {
  bytes.at(at + 1);
  bytes[at] = static_cast<char>(value & 0xFF);
  bytes[at + 1] = static_cast<char>(value >> 8);
}

void PutU32(std::string& bytes, size_t at, uint32_t value) {
  PutU16(bytes, at, static_cast<uint16_t>(value & 0xFFFF));
  PutU16(bytes, at + 2, static_cast<uint16_t>(value >> 16));
}

uint32_t GetU32(const std::string& bytes, size_t at) {
  uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<uint8_t>(bytes.at(at + i));
  return v;
}

PeFile BuildPe(const PeSpec& recipe) {
  // The resource tree: icons by id from 1 across all groups, the groups, a manifest.
  Node root;
  Node icons = Directory(3, {});
  Node groups = Directory(14, {});
  uint16_t next_id = 1;
  for (const IconGroupSpec& group : recipe.groups) {
    groups.children.push_back(
        Directory(group.id, {Language(GroupBytes(group, next_id))}, group.name));
    for (const IconImageSpec& image : group.images) {
      icons.children.push_back(Directory(next_id++, {Language(image.data)}));
    }
  }
  const bool with_icons = !recipe.groups.empty();
  if (with_icons) {
    root.children.push_back(std::move(icons));
    root.children.push_back(std::move(groups));
  }
  root.children.push_back(Directory(24, {Directory(1, {Language("<assembly/>")})}));

  const uint32_t code_address = kSectionAlignment;
  const uint32_t code_raw = Align(recipe.code_bytes, kFileAlignment);
  const uint32_t resource_address = Align(code_address + recipe.code_bytes, kSectionAlignment);
  const std::string resources = LayOut(root, resource_address);
  const uint32_t resource_raw_at = kHeadersBytes + code_raw;
  const uint32_t resource_raw = Align(static_cast<uint32_t>(resources.size()), kFileAlignment);

  PeFile pe;
  std::string& out = pe.bytes;
  out.assign(resource_raw_at + resource_raw, '\0');
  out[0] = 'M';
  out[1] = 'Z';
  PutU32(out, 0x3C, kPeOffset);
  pe.pe_header = kPeOffset;
  std::memcpy(&out[kPeOffset], "PE\0\0", 4);
  const size_t coff = kPeOffset + 4;
  const uint16_t optional_bytes = recipe.pe32_plus ? 240 : 224;
  PutU16(out, coff, recipe.pe32_plus ? 0x8664 : 0x14C);
  PutU16(out, coff + 2, 2);
  pe.section_count = coff + 2;
  PutU16(out, coff + 16, optional_bytes);
  PutU16(out, coff + 18, recipe.pe32_plus ? 0x0022 : 0x0102);

  const size_t opt = coff + 20;
  PutU16(out, opt, recipe.pe32_plus ? 0x20B : 0x10B);
  PutU32(out, opt + 4, code_raw);
  PutU32(out, opt + 16, code_address);  // entry point
  PutU32(out, opt + 20, code_address);
  if (recipe.pe32_plus) {
    PutU32(out, opt + 24, 0x40000000);  // image base, low half
    PutU32(out, opt + 28, 0x1);
  } else {
    PutU32(out, opt + 28, 0x400000);
  }
  PutU32(out, opt + 32, kSectionAlignment);
  PutU32(out, opt + 36, kFileAlignment);
  PutU16(out, opt + 48, 6);  // subsystem version
  PutU32(out, opt + 56,
         Align(resource_address + static_cast<uint32_t>(resources.size()), kSectionAlignment));
  PutU32(out, opt + 60, kHeadersBytes);
  PutU16(out, opt + 68, 2);  // windows GUI
  const size_t counts = opt + (recipe.pe32_plus ? 108 : 92);
  PutU32(out, counts, 16);
  pe.resource_directory = counts + 4 + 8 * 2;
  PutU32(out, pe.resource_directory, resource_address);
  PutU32(out, pe.resource_directory + 4, static_cast<uint32_t>(resources.size()));

  pe.section_table = opt + optional_bytes;
  auto section = [&out](size_t at, const char* name, uint32_t virtual_size, uint32_t address,
                        uint32_t raw_size, uint32_t raw_at, uint32_t flags) {
    std::memcpy(&out[at], name, std::strlen(name));
    PutU32(out, at + 8, virtual_size);
    PutU32(out, at + 12, address);
    PutU32(out, at + 16, raw_size);
    PutU32(out, at + 20, raw_at);
    PutU32(out, at + 36, flags);
  };
  section(pe.section_table, ".text", recipe.code_bytes, code_address, code_raw, kHeadersBytes,
          0x60000020);
  section(pe.section_table + 40, ".rsrc", static_cast<uint32_t>(resources.size()), resource_address,
          resource_raw, resource_raw_at, 0x40000040);
  std::copy(resources.begin(), resources.end(), out.begin() + resource_raw_at);

  pe.resource_root = resource_raw_at;
  pe.resource_address = resource_address;
  if (with_icons) {
    const Node& icon_type = root.children[0];
    const Node& group_type = root.children[1];
    pe.group_type_entry = resource_raw_at + group_type.entry_at;
    const Node& first = group_type.children.front();
    pe.first_group_entry = resource_raw_at + first.entry_at;
    pe.first_group_language = resource_raw_at + first.offset;
    pe.first_group_data_entry = resource_raw_at + first.children[0].offset;
    pe.first_group_data = resource_raw_at + first.children[0].data_at;
    for (const Node& icon : icon_type.children) {
      pe.icon_data_entries.push_back(resource_raw_at + icon.children[0].offset);
      pe.icon_data.push_back(resource_raw_at + icon.children[0].data_at);
    }
  }
  return pe;
}

std::string BuildIconFile(const std::vector<IconImageSpec>& images) {
  std::string out(6 + 16 * images.size(), '\0');
  PutU16(out, 2, 1);
  PutU16(out, 4, static_cast<uint16_t>(images.size()));
  for (size_t i = 0; i < images.size(); ++i) {
    PutDirectoryEntry(out, 6 + 16 * i, images[i]);
    PutU32(out, 6 + 16 * i + 12, static_cast<uint32_t>(out.size()));
    out += images[i].data;
  }
  return out;
}

std::string DibIcon(int width, int height, const std::vector<uint32_t>& pixels, int bits,
                    bool keep_alpha, bool with_mask) {
  if (pixels.size() != static_cast<size_t>(width) * height) {
    throw std::invalid_argument("pixel count");
  }
  std::vector<uint32_t> palette;
  if (bits <= 8) {
    for (uint32_t p : pixels) {
      const uint32_t rgb = p & 0xFFFFFFu;
      if ((p >> 24) != 0 && std::find(palette.begin(), palette.end(), rgb) == palette.end()) {
        palette.push_back(rgb);
      }
    }
    if (palette.size() > (1u << bits)) throw std::invalid_argument("too many colours");
    palette.resize(1u << bits, 0);
  }
  const size_t row_bytes = (static_cast<size_t>(width) * bits + 31) / 32 * 4;
  const size_t mask_row_bytes = (static_cast<size_t>(width) + 31) / 32 * 4;
  std::string out(40 + 4 * palette.size(), '\0');
  PutU32(out, 0, 40);
  PutU32(out, 4, static_cast<uint32_t>(width));
  PutU32(out, 8, static_cast<uint32_t>(height * 2));
  PutU16(out, 12, 1);
  PutU16(out, 14, static_cast<uint16_t>(bits));
  for (size_t i = 0; i < palette.size(); ++i) PutU32(out, 40 + 4 * i, palette[i]);

  for (int row = height - 1; row >= 0; --row) {
    std::string line(row_bytes, '\0');
    for (int x = 0; x < width; ++x) {
      const uint32_t p = pixels[static_cast<size_t>(row) * width + x];
      const char b = static_cast<char>(p & 0xFF);
      const char g = static_cast<char>((p >> 8) & 0xFF);
      const char r = static_cast<char>((p >> 16) & 0xFF);
      if (bits == 32) {
        line[4 * x] = b;
        line[4 * x + 1] = g;
        line[4 * x + 2] = r;
        line[4 * x + 3] = keep_alpha ? static_cast<char>(p >> 24) : '\0';
      } else if (bits == 24) {
        line[3 * x] = b;
        line[3 * x + 1] = g;
        line[3 * x + 2] = r;
      } else {
        const auto at = std::find(palette.begin(), palette.end(), p & 0xFFFFFFu);
        const uint32_t index = (p >> 24) == 0 ? 0 : static_cast<uint32_t>(at - palette.begin());
        const int per_byte = 8 / bits;
        const int shift = 8 - bits * (x % per_byte + 1);
        line[x / per_byte] = static_cast<char>(line[x / per_byte] | (index << shift));
      }
    }
    out += line;
  }
  if (with_mask) {
    for (int row = height - 1; row >= 0; --row) {
      std::string line(mask_row_bytes, '\0');
      for (int x = 0; x < width; ++x) {
        if ((pixels[static_cast<size_t>(row) * width + x] >> 24) == 0) {
          line[x / 8] = static_cast<char>(line[x / 8] | (0x80 >> (x % 8)));
        }
      }
      out += line;
    }
  }
  return out;
}

std::string PngImage(int width, int height, const std::vector<uint32_t>& pixels) {
  QImage image(width, height, QImage::Format_ARGB32);
  for (int y = 0; y < height; ++y) {
    std::memcpy(image.scanLine(y), &pixels[static_cast<size_t>(y) * width],
                sizeof(uint32_t) * width);
  }
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  if (!image.save(&buffer, "PNG")) throw std::runtime_error("cannot write PNG");
  return bytes.toStdString();
}

std::vector<uint32_t> Solid(int width, int height, uint32_t argb) {
  return std::vector<uint32_t>(static_cast<size_t>(width) * height, argb);
}

}  // namespace rk5::test
