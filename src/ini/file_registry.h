#pragma once
// A registry kept in one INI file: one section per key, named by the root's full name and
// the key path ("[HKEY_LOCAL_MACHINE\SOFTWARE\Rk5Helper]"), one line per string value.
// The program-files and desktop folders are answered from this system when the file
// holds no value for them. Systems without a registry of their own keep theirs here.
#include <memory>
#include <string>

#include "platform/registry.h"

namespace rk5 {

std::unique_ptr<platform::Registry> RegistryInFile(const std::string& file);

}  // namespace rk5
