#include "install/archive_platform.h"

namespace rk5 {

ArchivePlatform ArchivePlatform::ThisSystem() {
  ArchivePlatform p;
  p.tree = platform::MakeFileTree();
  p.stager = platform::MakeFileStager();
  p.times = platform::MakeFileTimes();
  p.attributes = platform::MakeFileAttributes();
  p.space = platform::MakeFreeSpace();
  p.separator = platform::PathSeparator();
  return p;
}

}  // namespace rk5
