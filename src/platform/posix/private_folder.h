#pragma once
// Folders that only this user can enter, checked on the opened folder itself so that
// nothing can be swapped in between the check and the use.
#include <string>

#include "platform/posix/file_descriptor.h"

namespace rk5::platform {

// The folder path (absolute, or relative to the open folder at; AT_FDCWD for this
// process's own), made with mode 0700 first when create is set and it is missing. Not
// valid unless it is a real folder (not a link to one), owned by this user, and nobody
// else may enter, read or write it.
FileDescriptor OpenPrivateFolder(int at, const std::string& path, bool create);

}  // namespace rk5::platform
