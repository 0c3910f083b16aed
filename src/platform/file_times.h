#pragma once
// File times: the last-modification time of a file.
#include <cstdint>
#include <memory>
#include <string>

namespace rk5::platform {

class FileTimes {
 public:
  virtual ~FileTimes() = default;
  // Sets path's last-modification time to seconds since 1970-01-01 UTC; the access time
  // is left alone.
  virtual bool SetModificationTime(const std::string& path, std::int64_t seconds) = 0;
};

std::unique_ptr<FileTimes> MakeFileTimes();

}  // namespace rk5::platform
