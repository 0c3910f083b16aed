#pragma once
// An INI file on disk with the profile functions' behaviour: every read sees the file as
// it is now, every write goes to the file at once. Writes are read-modify-write under a
// cross-process lock and land by atomic replace, so copies of the program writing the
// same file at once lose nothing, and a crash leaves the old or the new file.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "ini/ini_document.h"
#include "platform/atomic_file.h"

namespace rk5 {

// The largest INI file the program reads or writes; also the most a fetched catalogue or
// licence text may be. A larger file, or anything but a regular file, reads as missing,
// and a write to it fails.
inline constexpr std::size_t kMaxIniFileSize = 64u << 20;
// How long a write waits for a lock that another copy holds before it fails.
inline constexpr std::chrono::milliseconds kIniLockWait = std::chrono::seconds(10);

// What the user is told when a file the program keeps cannot be written.
std::string UnableToWrite(std::string_view file_name);

// The outcome of a write; the message names the file ("Unable to write to %s").
struct IniWriteResult {
  bool ok = true;
  std::string message;
  explicit operator bool() const { return ok; }
};

// Writes collected to be applied together: one fresh read, one lock, one replace. The
// result on disk is what the same writes made one by one would give.
class IniBatch {
 public:
  void WriteString(std::string_view section, std::string_view key, std::string_view value);
  void AddSection(std::string_view section);
  std::size_t size() const { return writes_.size(); }

 private:
  friend class IniFile;
  struct Write {
    std::string section, key, value;
    bool section_only = false;
  };
  std::vector<Write> writes_;
};

class IniFile {
 public:
  explicit IniFile(std::string file_name, std::chrono::milliseconds lock_wait = kIniLockWait);

  const std::string& FileName() const { return file_name_; }

  // The file as it is now, parsed; shared until the file changes. A missing or unreadable
  // file reads as empty.
  std::shared_ptr<const IniDocument> Snapshot() const;

  std::vector<std::string> ReadSections() const;
  std::vector<std::string> ReadSection(std::string_view section) const;  // key names
  bool SectionExists(std::string_view section) const;
  bool ValueExists(std::string_view section, std::string_view key) const;
  std::string ReadString(std::string_view section, std::string_view key,
                         std::string_view def) const;
  int32_t ReadInteger(std::string_view section, std::string_view key, int32_t def) const;

  IniWriteResult WriteString(std::string_view section, std::string_view key,
                             std::string_view value);
  IniWriteResult AddSection(std::string_view section);
  IniWriteResult Commit(const IniBatch& batch);

 private:
  IniWriteResult Failure() const;

  std::string file_name_;
  std::chrono::milliseconds lock_wait_;
  mutable std::shared_ptr<const IniDocument> cached_;
  mutable platform::FileStamp cached_stamp_;
};

}  // namespace rk5
