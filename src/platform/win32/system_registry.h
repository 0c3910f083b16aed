#pragma once
// The system's own registry, for the services bundle of this platform.
#include <memory>

#include "platform/registry.h"

namespace rk5::platform {

std::unique_ptr<Registry> MakeSystemRegistry();

}  // namespace rk5::platform
