#pragma once
// The path rules of unpacking: the base folder's normal form, which stored names a mask
// takes, and where an entry is written (or why it may not be).
#include <optional>
#include <string>
#include <string_view>

#include "install/archive_types.h"

namespace rk5 {

// Drops one trailing separator unless the text is a root ("/", or a drive root such as
// "C:\"). '/' always separates; `separator` is this system's own as well.
std::string NormaliseBaseDirectory(std::string_view text, char separator);

// The part of a stored name after its last "/" or "\"; empty for a folder entry.
std::string_view StoredFilePart(std::string_view name);

// "*.*" and "*" take every entry with a file part; any other mask is a wildcard mask
// ("*" any run, "?" one character) on the whole stored name. Letter case is ignored,
// "/" and "\" count as the same, and folder entries are never taken.
bool MatchesMask(std::string_view name, std::string_view mask);

struct TargetPath {
  std::string path;                       // set when the entry may be written
  std::optional<ExtractFailure> refused;  // set when it may not
};

// Where an entry goes below `base`. Stored "/" and "\" both separate folders; with
// `restore_path` the stored folders are kept, otherwise only the file part is used.
// Names that would leave `base` (a ".." step, an absolute name, a drive letter) are
// refused, as are names this system cannot hold as a file (control bytes, ".").
TargetPath TargetPathFor(std::string_view base, std::string_view name, bool restore_path,
                         char separator);

// The path up to its last separator; empty when it has none.
std::string FolderOf(std::string_view path, char separator);

}  // namespace rk5
