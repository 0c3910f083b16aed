#include <cstdlib>

#include "platform/registry.h"
#include "platform/user_folders.h"

namespace rk5::platform {

// RK5HELPER_REGISTRY names another registry file (tests, portable use).
std::unique_ptr<Registry> SystemRegistry() {
  const char* file = std::getenv("RK5HELPER_REGISTRY");
  if (file != nullptr && *file != '\0') return RegistryInFile(file);
  return RegistryInFile(ConfigFolder() + "/rk5helper/registry.ini");
}

}  // namespace rk5::platform
