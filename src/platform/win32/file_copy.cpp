#include "platform/file_copy.h"

#include <windows.h>

#include "platform/file_blocks.h"
#include "platform/staged_file.h"
#include "platform/win32/wide_text.h"

namespace rk5::platform {
namespace {

// Written beside the target and moved over it. Whether a file may be run is its name's
// business here, so make_executable changes nothing.
class Win32FileCopy final : public FileCopy {
 public:
  bool Copy(const std::string& source, const std::string& target, bool /*make_executable*/) override {
    std::string destination = target;
    if (IsFolder(target)) {
      const bool ends_in_separator = target.back() == '\\' || target.back() == '/';
      destination += (ends_in_separator ? "" : "\\") + source.substr(FolderPart(source).size());
    }
    std::unique_ptr<StagedFile> staged = stager_->Stage(destination);
    if (!staged) return false;
    const bool copied = ReadFileBlocks(source, [&](const char* data, std::size_t size) {
      return staged->Write(data, size);
    });
    return copied && staged->Close() && staged->MoveOverTarget();  // else discarded
  }

 private:
  std::unique_ptr<FileStager> stager_ = MakeFileStager();
};

}  // namespace

// The mask withholds nothing here (creation_mask.cpp).
std::unique_ptr<FileCopy> MakeFileCopy(unsigned /*creation_mask*/) { return std::make_unique<Win32FileCopy>(); }
std::unique_ptr<FileCopy> MakeFileCopy() { return MakeFileCopy(0); }

}  // namespace rk5::platform
