#include "platform/program_start.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string_view>

#include "platform/formats/command_line.h"
#include "platform/posix/detached_start.h"

namespace rk5::platform {
namespace {

constexpr std::string_view kOpener = "xdg-open";

bool HasNul(const std::string& text) { return text.find('\0') != std::string::npos; }

std::string CurrentFolder() {
  std::string folder(4096, '\0');
  while (::getcwd(folder.data(), folder.size()) == nullptr) {
    if (errno != ERANGE) return {};
    folder.resize(folder.size() * 2);
  }
  folder.resize(folder.find('\0'));
  return folder;
}

// The working folder as an absolute path, so that a relative one means the same after
// the started process has changed into it.
std::string AbsoluteFolder(const std::string& folder) {
  if (!folder.empty() && folder.front() == '/') return folder;
  const std::string current = CurrentFolder();
  if (current.empty() || folder.empty()) return current;
  return current + "/" + folder;
}

bool IsExecutableFile(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
         ::faccessat(AT_FDCWD, path.c_str(), X_OK, AT_EACCESS) == 0;
}

// The desktop's opener is a program of the system, so it is the one name looked up
// through PATH (absolute entries only).
std::string FindOpener() {
  const char* path = std::getenv("PATH");
  std::string_view entries = path ? path : "/usr/local/bin:/usr/bin:/bin";
  while (!entries.empty()) {
    const std::size_t colon = entries.find(':');
    const std::string_view entry = entries.substr(0, colon);
    entries = colon == std::string_view::npos ? std::string_view() : entries.substr(colon + 1);
    if (entry.empty() || entry.front() != '/') continue;
    std::string candidate = std::string(entry) + "/" + std::string(kOpener);
    if (IsExecutableFile(candidate)) return candidate;
  }
  return {};
}

bool Open(const std::string& document_or_address, const std::string& folder) {
  const std::string opener = FindOpener();
  if (opener.empty()) return false;
  return StartDetached(opener, {opener, document_or_address}, folder);
}

class PosixProgramStart final : public ProgramStart {
 public:
  bool Start(const std::string& file, const std::string& parameters, const std::string& folder,
             int /*show_command: no first show state to give on this platform*/) override {
    if (file.empty() || HasNul(file) || HasNul(parameters) || HasNul(folder)) return false;
    const std::string work = AbsoluteFolder(folder);
    if (work.empty()) return false;
    const std::string path = file.front() == '/' ? file : work + "/" + file;
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
      // A file of that name wins; otherwise an address goes to the opener.
      return IsAddress(file) && Open(file, work);
    }
    if (!IsExecutableFile(path)) return Open(path, work);
    std::vector<std::string> argv{path};
    for (std::string& arg : SplitArguments(parameters)) argv.push_back(std::move(arg));
    return StartDetached(path, argv, work);
  }
};

}  // namespace

std::unique_ptr<ProgramStart> MakeProgramStart() { return std::make_unique<PosixProgramStart>(); }

}  // namespace rk5::platform
