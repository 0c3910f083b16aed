// Times one installation through the real program: starts "rk5helper /dl <section>" (the
// environment names the registry, the runtime folder and the proxy) and waits, watching
// the folders with inotify, until "Local.ini" records the tool and no staging folder is
// left; then reads the program's peak resident memory and ends it, as a user pressing OK
// would.
//   install_bench <rk5helper> <section> <build>
// where build is the OBuild text the installation records as Build; prints "seconds=<wall time from start> peak_kib=<VmHWM>".
#include <poll.h>
#include <signal.h>
#include <sys/inotify.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace fs = std::filesystem;

namespace {

std::string Read(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

bool Done(const fs::path& local, const fs::path& base, const std::string& section,
          const std::string& build) {
  const std::string ini = Read(local);
  const std::string key = "\nBuild=" + build;
  const std::size_t at = ini.find(key);
  if (at == std::string::npos || at + key.size() >= ini.size()) return false;
  if (ini[at + key.size()] != '\r' && ini[at + key.size()] != '\n') return false;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(base, ec)) {
    if (entry.path().filename().string().rfind(".rk5-stage." + section + ".", 0) == 0) return false;
  }
  return true;
}

long PeakKib(pid_t pid) {
  std::istringstream status(Read("/proc/" + std::to_string(pid) + "/status"));
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmHWM:", 0) == 0) return std::stol(line.substr(6));
  }
  return -1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: install_bench <rk5helper> <section> <build>\n");
    return 2;
  }
  const std::string build = argv[3];
  const fs::path program = fs::absolute(argv[1]);
  const std::string section = argv[2];
  const fs::path folder = program.parent_path();
  const fs::path base = folder.parent_path();
  const fs::path local = folder / "Local.ini";

  const int watch = inotify_init1(IN_CLOEXEC);
  inotify_add_watch(watch, folder.c_str(), IN_MOVED_TO | IN_CLOSE_WRITE);
  inotify_add_watch(watch, base.c_str(), IN_DELETE | IN_MOVED_FROM);

  const auto start = std::chrono::steady_clock::now();
  const pid_t child = fork();
  if (child == 0) {
    execl(program.c_str(), program.c_str(), "/dl", section.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  char events[64 * 1024];
  while (!Done(local, base, section, build)) {
    pollfd ready{watch, POLLIN, 0};
    if (poll(&ready, 1, 1000) > 0 && read(watch, events, sizeof events) < 0) break;
    int status = 0;
    if (waitpid(child, &status, WNOHANG) == child) {
      std::fprintf(stderr, "install_bench: the program ended before the tool was installed\n");
      return 1;
    }
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const long peak = PeakKib(child);
  kill(child, SIGTERM);
  waitpid(child, nullptr, 0);
  std::printf("seconds=%.3f peak_kib=%ld\n", seconds, peak);
  return 0;
}
