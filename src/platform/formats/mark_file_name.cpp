#include "platform/formats/mark_file_name.h"

#include <cstdint>
#include <string_view>

#include "platform/formats/fnv_hash.h"
#include "platform/text.h"

namespace rk5::platform {
namespace {

// Texts up to this length are named by all their bytes in hex (201 characters at most,
// below the 255 a file name may have); longer ones by a head, their length and a hash.
constexpr std::size_t kWholeTextBytes = 100;
constexpr std::size_t kHeadBytes = 40;
// A second start for the second hash, so that two texts rarely share both.
constexpr uint64_t kSecondHashStart = 0x84222325cbf29ce4ULL;

std::string Hex(std::string_view bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string out;
  for (unsigned char c : bytes) {
    out += kDigits[c >> 4];
    out += kDigits[c & 15];
  }
  return out;
}

}  // namespace

std::string MarkFileName(char kind, const std::string& text) {
  const std::string key = FoldCase(text);
  std::string name(1, kind);
  if (key.size() <= kWholeTextBytes) return name + Hex(key);
  // A long text (never a real section name) may share its head with another: the
  // length and two hashes of the whole tell them apart.
  return name + Hex(std::string_view(key).substr(0, kHeadBytes)) + "-" +
         std::to_string(key.size()) + "-" + FnvHex(key) + FnvHex(key, kSecondHashStart);
}

}  // namespace rk5::platform
