#include "platform/services.h"

#include <cstdlib>

#include "platform/user_folders.h"

namespace rk5::platform {

Services MakeSystemServices(const FileRegistryMaker& registry_in_file, unsigned creation_mask,
                            const std::string& launcher_icon) {
  Services services;
  // RK5HELPER_REGISTRY names another registry file (tests, portable use).
  const char* file = std::getenv("RK5HELPER_REGISTRY");
  services.registry = registry_in_file(file != nullptr && *file != '\0'
                                           ? std::string(file)
                                           : ConfigFolder() + "/rk5helper/registry.ini");
  services.icons = MakeIconExtraction();
  services.program_start = MakeProgramStart();
  services.busy_marks = MakeBusyMarks();
  services.launcher_files = MakeLauncherFiles({}, launcher_icon, creation_mask);
  services.file_copy = MakeFileCopy(creation_mask);
  services.file_tree = MakeFileTree();
  services.file_stager = MakeFileStager(creation_mask);
  services.file_times = MakeFileTimes();
  services.file_attributes = MakeFileAttributes(creation_mask);
  services.free_space = MakeFreeSpace();
  services.file_moves = MakeFileMoves();
  return services;
}

}  // namespace rk5::platform
