#pragma once
// CopyFileTo: the whole file or a report that it could not. A target that is an existing
// folder gets the source's file name; the copy is written beside the target and renamed
// over it, so a failed copy leaves the old target as it was.
#include <string>

#include "platform/file_copy.h"

namespace rk5 {

bool CopyFileTo(platform::FileCopy& copy, const std::string& source, const std::string& target,
                bool make_executable);

// Both files can be read and hold the same bytes.
bool SameContent(const std::string& one, const std::string& other);

}  // namespace rk5
