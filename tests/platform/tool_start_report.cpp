// Started by the program-start and launcher tests: writes what it was given and what it
// inherited to the file named by $RK5_START_REPORT (written beside, then renamed, so a
// reader sees all of it or nothing):
//   working folder NUL, open descriptors (blank-separated) NUL, "leader"/"member" NUL,
//   session id NUL, then each argv entry followed by NUL.
#include <dirent.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
  const char* report = std::getenv("RK5_START_REPORT");
  if (report == nullptr) return 2;
  std::string out;
  char cwd[8192];
  out += ::getcwd(cwd, sizeof cwd) ? cwd : "?";
  out += '\0';
  if (DIR* fds = ::opendir("/proc/self/fd")) {
    while (const dirent* entry = ::readdir(fds)) {
      if (entry->d_name[0] == '.' || std::atoi(entry->d_name) == ::dirfd(fds)) continue;
      out += entry->d_name;
      out += ' ';
    }
    ::closedir(fds);
  }
  out += '\0';
  out += ::getsid(0) == ::getpid() ? "leader" : "member";
  out += '\0';
  out += std::to_string(::getsid(0));
  out += '\0';
  for (int i = 0; i < argc; ++i) {
    out += argv[i];
    out += '\0';
  }
  const std::string temp = std::string(report) + ".part";
  std::FILE* file = std::fopen(temp.c_str(), "wb");
  if (file == nullptr) return 3;
  const bool written = std::fwrite(out.data(), 1, out.size(), file) == out.size();
  if (std::fclose(file) != 0 || !written) return 4;
  return std::rename(temp.c_str(), report) == 0 ? 0 : 5;
}
