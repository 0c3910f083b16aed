// What reading one INI file costs the engine: the time to read and parse it and to list
// and read everything in it, and the resident memory it takes, beside the file's size.
//   build/bench/ini_read_bench make <kind> <file> [MiB]   writes a file of that kind
//   build/bench/ini_read_bench read <file>                reads it, prints the figures
// Kinds: local (a "Local.ini" of 5,000 tools), short (short key lines in sections of 16,
// up to the given size, default 64 MiB), newlines (empty lines only, default 64 MiB).
// Run each read in a process of its own: the peak it reports is that process's.
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#include "ini/ini_file.h"

namespace {

using Clock = std::chrono::steady_clock;

// Processor time of this process so far (user and system), in milliseconds: on a machine
// shared with other work it says more than the wall clock.
double CpuMs() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  const auto ms = [](const timeval& t) { return t.tv_sec * 1000.0 + t.tv_usec / 1000.0; };
  return ms(usage.ru_utime) + ms(usage.ru_stime);
}

// VmHWM or VmRSS of this process, in KiB.
long StatusKiB(const char* field) {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind(field, 0) == 0) return std::atol(line.c_str() + std::strlen(field));
  }
  return -1;
}

std::string Local(int tools) {
  std::string out;
  for (int i = 0; i < tools; ++i) {
    const std::string n = std::to_string(i);
    out += "[Tool" + n + "]\r\nName=Tool number " + n + "\r\nBy=Publisher " + n +
           "\r\nReadMe=http://tools.example/readme/" + n + ".txt\r\nDL=http://tools.example/zip/" +
           n + ".zip\r\nOBuild=4\r\nOVersion=1.4\r\nOExeName=tool" + n + ".exe\r\nBuild=3" +
           "\r\nVersion=1.3\r\nExeName=tool" + n + ".exe\r\nPath=/opt/Rk5/Tool" + n +
           "/\r\nInstalled=" + std::to_string(i % 2) + "\r\n";
  }
  return out + "[Rk5Helper]\r\nBuild=2\r\nURL=http://tools.example/rk5helper\r\n";
}

std::string Short(std::size_t size) {
  std::string out;
  out.reserve(size + 64);
  for (long section = 0;; ++section) {
    std::string block = "[S" + std::to_string(section) + "]\n";
    for (int key = 0; key < 16; ++key) block += "k" + std::to_string(key) + "=1\n";
    if (out.size() + block.size() > size) return out;
    out += block;
  }
}

int Make(const char* kind, const char* file, std::size_t mib) {
  std::string bytes;
  if (std::strcmp(kind, "local") == 0) {
    bytes = Local(5000);
  } else if (std::strcmp(kind, "short") == 0) {
    bytes = Short(mib << 20);
  } else if (std::strcmp(kind, "newlines") == 0) {
    bytes.assign(mib << 20, '\n');
  } else {
    return 2;
  }
  std::ofstream(file, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return 0;
}

int Read(const char* file) {
  const long before = StatusKiB("VmRSS:");
  const auto start = Clock::now();
  const double cpu_start = CpuMs();
  rk5::IniFile ini(file);
  auto doc = ini.Snapshot();
  // What a start does with "rk5h.ini": one value.
  const int build = doc->ReadInteger("Rk5Helper", "Build", 0);
  const auto opened = Clock::now();
  const double cpu_opened = CpuMs();
  std::size_t sections = 0, keys = 0, value_bytes = 0;
  for (const std::string& section : doc->Sections()) {
    ++sections;
    for (const std::string& key : doc->Keys(section)) {
      ++keys;
      value_bytes += doc->ReadString(section, key, "").size();
    }
  }
  const auto ms_between = [](Clock::time_point a, Clock::time_point b) {
    return std::chrono::duration<double, std::milli>(b - a).count();
  };
  const double open_ms = ms_between(start, opened);
  const double ms = ms_between(start, Clock::now());
  const long peak = StatusKiB("VmHWM:");
  std::ifstream in(file, std::ios::binary | std::ios::ate);
  const double size_mib = static_cast<double>(in.tellg()) / (1 << 20);
  const double taken_mib = static_cast<double>(peak - before) / 1024;
  std::printf("%s: %.1f MiB, %zu sections, %zu keys (%zu value bytes)\n", file, size_mib, sections,
              keys, value_bytes);
  const double cpu_all = CpuMs();
  std::printf("  read and parse, one value (Build=%d): %.0f ms (%.0f ms processor); then list and "
              "read all: %.0f ms (%.0f ms processor) in all\n",
              build, open_ms, cpu_opened - cpu_start, ms, cpu_all - cpu_start);
  std::printf("  peak %.1f MiB above the %.1f MiB at start = %.2f x the file\n", taken_mib,
              static_cast<double>(before) / 1024, taken_mib / size_mib);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 4 && std::strcmp(argv[1], "make") == 0) {
    return Make(argv[2], argv[3], argc >= 5 ? static_cast<std::size_t>(std::atol(argv[4])) : 64);
  }
  if (argc == 3 && std::strcmp(argv[1], "read") == 0) return Read(argv[2]);
  std::fprintf(stderr, "usage: %s make local|short|newlines <file> [MiB] | read <file>\n", argv[0]);
  return 2;
}
