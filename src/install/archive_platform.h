#pragma once
// The system services unpacking writes through. A window hands in the run's (From); tests
// and the fuzz target hand in their own; ThisSystem() makes a fresh set of the system's.
#include <cstdint>
#include <memory>
#include <string>

#include "platform/file_attributes.h"
#include "platform/file_times.h"
#include "platform/file_tree.h"
#include "platform/free_space.h"
#include "platform/services.h"
#include "platform/staged_file.h"

namespace rk5 {

struct ArchivePlatform {
  std::shared_ptr<platform::FileTree> tree;
  std::shared_ptr<platform::FileStager> stager;
  std::shared_ptr<platform::FileTimes> times;
  std::shared_ptr<platform::FileAttributes> attributes;
  std::shared_ptr<platform::FreeSpace> space;
  char separator = '/';

  static ArchivePlatform ThisSystem();
  // The run's services, which must outlive every extractor given them.
  static ArchivePlatform From(platform::Services& services);
};

// The room unpacking leaves on the disk holding `where`: a share of the file system, capped.
std::uint64_t FreeSpaceMargin(platform::FreeSpace& space, const std::string& where);

}  // namespace rk5
