#include "selfinstall/copy_file_to.h"

#include <fstream>
#include <vector>

namespace rk5 {

bool CopyFileTo(platform::FileCopy& copy, const std::string& source, const std::string& target,
                bool make_executable) {
  return copy.Copy(source, target, make_executable);
}

bool SameContent(const std::string& one, const std::string& other) {
  std::ifstream a(one, std::ios::binary), b(other, std::ios::binary);
  if (!a || !b) return false;
  constexpr std::streamsize kBlock = 64 * 1024;
  std::vector<char> block_a(kBlock), block_b(kBlock);
  for (;;) {
    a.read(block_a.data(), kBlock);
    b.read(block_b.data(), kBlock);
    const std::streamsize got = a.gcount();
    if (got != b.gcount() || !std::equal(block_a.begin(), block_a.begin() + got, block_b.begin())) {
      return false;
    }
    if (a.bad() || b.bad()) return false;
    if (got < kBlock) return a.eof() && b.eof();
  }
}

}  // namespace rk5
