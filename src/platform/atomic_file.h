#pragma once
// Whole-file reads and atomic replacement: the new bytes go to a temporary file in the
// same folder, are flushed to disk and renamed over the old file, so readers and a crash
// see either the old file or the new one, never a torn one.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace rk5::platform {

// The bytes of the regular file at path (a link to one counts), when it holds at most
// max_size of them. nullopt when there is none, when something else lies there (a folder,
// a pipe, a device), when it is larger, or when it cannot be read. Never waits for a
// writer, so a pipe put in a file's place cannot hang the program.
std::optional<std::string> ReadWholeFile(const std::string& path, std::size_t max_size);

// False (the old file untouched, no temporary left) when any step fails. Written through
// the same staging as a FileStager's files (staged_file.h).
bool ReplaceFileAtomically(const std::string& path, std::string_view bytes);

// Removes the temporary files that writers of path killed before their rename left
// behind; a live writer's temporary is never touched (its writer holds a lock on it).
void RemoveLeftoverTemporaries(const std::string& path);

// Identity of a file's current content as the file system tells it; two equal stamps
// mean the file was not replaced or rewritten in between.
struct FileStamp {
  bool exists = false;
  unsigned long long device = 0, inode = 0, size = 0;
  long long mtime_ns = 0, ctime_ns = 0;
  bool operator==(const FileStamp&) const = default;
};
FileStamp StampOf(const std::string& path);

}  // namespace rk5::platform
