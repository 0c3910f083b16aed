// How long a tool's desktop launcher takes to start the tool through "/run": from starting
// "rk5helper /run Foo" to the tool's first instruction, beside starting the tool directly,
// alternating in the same run, on a private X display.
// Usage: build/bench/launch_bench [rounds]   (default 30)
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "support/temp_dir.h"
#include "support/x_display.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

long long NowNs() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec;
}

// Starts argv in folder and returns its pid.
pid_t Spawn(const std::vector<std::string>& argv, const std::string& folder) {
  pid_t pid = fork();
  if (pid == 0) {
    if (chdir(folder.c_str()) != 0) _exit(127);
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    execv(args[0], args.data());
    _exit(127);
  }
  return pid;
}

struct Figures {
  long long to_tool_ns = 0;  // from the start of the command to the tool's first instruction
  long long cpu_ns = 0;      // processor time of the started command itself (user + system)
};

// Starts the command, waits for the tool's stamp, and returns the time between and the
// processor time the command used.
Figures Measure(const std::vector<std::string>& argv, const std::string& folder,
                const fs::path& stamp) {
  fs::remove(stamp);
  const long long start = NowNs();
  pid_t pid = Spawn(argv, folder);
  const long long limit = start + 20'000'000'000LL;
  while (!fs::exists(stamp)) {
    if (NowNs() > limit) {
      std::fprintf(stderr, "the tool did not start\n");
      std::exit(1);
    }
    // The figure is the stamp's, not this loop's: polling coarsely costs no precision.
    std::this_thread::sleep_for(std::chrono::microseconds(500));
  }
  rusage usage{};
  wait4(pid, nullptr, 0, &usage);
  FILE* f = std::fopen(stamp.c_str(), "r");
  long long at = 0;
  if (f == nullptr || std::fscanf(f, "%lld", &at) != 1) std::exit(1);
  std::fclose(f);
  auto ns = [](const timeval& t) { return t.tv_sec * 1000000000LL + t.tv_usec * 1000LL; };
  return {at - start, ns(usage.ru_utime) + ns(usage.ru_stime)};
}

double Ms(long long ns) { return static_cast<double>(ns) / 1e6; }

struct Summary {
  double median, best, p90;
};

Summary Summarise(std::vector<long long> ns) {
  std::sort(ns.begin(), ns.end());
  return {Ms(ns[ns.size() / 2]), Ms(ns.front()), Ms(ns[(ns.size() * 9) / 10])};
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 30;
  rk5::test::XDisplay display;
  if (display.Name().empty()) {
    std::fprintf(stderr, "needs Xvfb\n");
    return 1;
  }
  rk5::test::TempDir dir;
  const fs::path program = dir.path() / "prog", tool = dir.path() / "tools" / "Foo";
  fs::create_directories(program);
  fs::create_directories(tool);
  fs::create_directories(dir.path() / "runtime");
  fs::permissions(dir.path() / "runtime", fs::perms::owner_all);
  fs::copy_file(RK5_HELPER_EXE, program / "rk5helper");
  fs::copy_file(std::string(RK5_TEST_BINARY_DIR) + "/bench/launch_stamp", tool / "launch_stamp");
  rk5::test::WriteFileBytes(
      dir.file("registry.ini"),
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Rk5Helper]\nPath=" + program.string() + "/\n");
  rk5::test::WriteFileBytes(program / "Local.ini", "[Foo]\nName=Foo\nPath=" + tool.string() +
                                                       "/\nExeName=launch_stamp\nInstalled=1\n");
  setenv("DISPLAY", display.Name().c_str(), 1);
  setenv("QT_QPA_PLATFORM", "xcb", 1);
  setenv("RK5HELPER_REGISTRY", dir.file("registry.ini").c_str(), 1);
  setenv("XDG_RUNTIME_DIR", (dir.path() / "runtime").c_str(), 1);

  const std::vector<std::string> direct{(tool / "launch_stamp").string()};
  const std::vector<std::string> launcher{(program / "rk5helper").string(), "/run", "Foo"};
  const fs::path stamp = tool / "stamp";
  Measure(direct, tool.string(), stamp);  // warm the page cache for both
  Measure(launcher, program.string(), stamp);
  std::vector<long long> direct_ns, launcher_ns, launcher_cpu_ns;
  for (int i = 0; i < rounds; ++i) {
    direct_ns.push_back(Measure(direct, tool.string(), stamp).to_tool_ns);
    const Figures through = Measure(launcher, program.string(), stamp);
    launcher_ns.push_back(through.to_tool_ns);
    launcher_cpu_ns.push_back(through.cpu_ns);
  }
  const Summary d = Summarise(direct_ns), l = Summarise(launcher_ns);
  const Summary cpu = Summarise(launcher_cpu_ns);
  std::printf("rounds: %d, display %s\n", rounds, display.Name().c_str());
  std::printf("%-28s %9s %9s %9s\n", "start", "median", "best", "p90");
  std::printf("%-28s %7.1f ms %6.1f ms %6.1f ms\n", "tool directly", d.median, d.best, d.p90);
  std::printf("%-28s %7.1f ms %6.1f ms %6.1f ms\n", "rk5helper /run Foo", l.median, l.best, l.p90);
  std::printf("%-28s %7.1f ms (target: under 100 ms)\n", "added by /run (medians)",
              l.median - d.median);
  std::printf("%-28s %7.1f ms %6.1f ms %6.1f ms\n", "processor time of /run", cpu.median, cpu.best,
              cpu.p90);
  return 0;
}
