#include "platform/file_attributes.h"

#include <windows.h>

#include "platform/win32/wide_text.h"

namespace rk5::platform {
namespace {

// The one permission a Windows file carries by itself is read-only: a file the owner may
// not write gets it. Who may run a file is its name's business here.
class Win32FileAttributes final : public FileAttributes {
 public:
  bool SetPermissionBits(const std::string& path, unsigned bits) override {
    return Change(path, (bits & 0200) == 0);
  }

  bool SetReadOnly(const std::string& path) override { return Change(path, true); }

 private:
  static bool Change(const std::string& path, bool read_only) {
    const std::wstring wide = WidePath(path);
    if (wide.empty()) return false;
    const DWORD now = ::GetFileAttributesW(wide.c_str());
    if (now == INVALID_FILE_ATTRIBUTES) return false;
    DWORD wanted = read_only ? (now | FILE_ATTRIBUTE_READONLY) : (now & ~DWORD{FILE_ATTRIBUTE_READONLY});
    if (wanted == 0) wanted = FILE_ATTRIBUTE_NORMAL;
    return wanted == now || ::SetFileAttributesW(wide.c_str(), wanted) != 0;
  }
};

}  // namespace

// The mask withholds nothing here (creation_mask.cpp).
std::unique_ptr<FileAttributes> MakeFileAttributes(unsigned /*creation_mask*/) {
  return std::make_unique<Win32FileAttributes>();
}
std::unique_ptr<FileAttributes> MakeFileAttributes() { return MakeFileAttributes(0); }

}  // namespace rk5::platform
