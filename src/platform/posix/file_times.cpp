#include "platform/file_times.h"

#include <fcntl.h>
#include <sys/stat.h>

namespace rk5::platform {
namespace {

class PosixFileTimes final : public FileTimes {
 public:
  bool SetModificationTime(const std::string& path, std::int64_t seconds) override {
    struct timespec times[2] = {};
    times[0].tv_nsec = UTIME_OMIT;
    times[1].tv_sec = static_cast<time_t>(seconds);
    return ::utimensat(AT_FDCWD, path.c_str(), times, 0) == 0;
  }
};

}  // namespace

std::unique_ptr<FileTimes> MakeFileTimes() { return std::make_unique<PosixFileTimes>(); }

}  // namespace rk5::platform
