// The INI engine against the system's profile functions: one seeded random sequence of
// writes, reads, section listings and key listings applied to twin files, every answer
// compared. Small alphabets make names collide; raw files with comments, blanks, lines
// without "=", repeated sections and keys, CRLF or LF and no final line end are laid
// under both now and then, and sometimes the files are removed.
//   rk5_ini_compare <folder> <seed> <steps>
// Prints each difference with the step that shows it; differences the project has
// decided on are counted apart. Exits non-zero on any other difference.
#include <windows.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "ini/ini_file.h"
#include "platform/atomic_file.h"

namespace {

using Strings = std::vector<std::string>;

const Strings kSections = {"A", "a", "B", " b", "c c", "A "};
const Strings kKeys = {"k", "K", " k", "x", "y y", "Z", "k "};
const Strings kValues = {"", "1", "v", " v ", "\"q\"", "a=b", ";c", "0x10", std::string(300, 'L')};
const Strings kRawLines = {"[A]", "[a]", "[ b ]", "[B]", "k=1", "K = 2", " x=3 ", "y y=", "Z",
                           "; comment", "# hash", "", "  ", "=v", "[c c]", "k=\"q\"", "junk line",
                           "[unclosed", std::string(300, 'L') + "=long"};

constexpr DWORD kBuffer = 1 << 16;
constexpr char kDefault[] = "(default)";

std::string Pick(std::mt19937_64& random, const Strings& from) {
  return from[std::uniform_int_distribution<std::size_t>(0, from.size() - 1)(random)];
}

// The system's double-NUL list.
Strings SplitList(const std::vector<char>& buffer, DWORD length) {
  Strings names;
  std::string name;
  for (DWORD i = 0; i < length; ++i) {
    if (buffer[i] == '\0') {
      names.push_back(name);
      name.clear();
    } else {
      name += buffer[i];
    }
  }
  if (!name.empty()) names.push_back(name);
  return names;
}

std::string Joined(const Strings& names) {
  std::string text;
  for (const std::string& name : names) text += "[" + name + "]";
  return text;
}

std::string RawFile(std::mt19937_64& random) {
  const bool crlf = random() % 2 == 0;
  std::string text;
  const int lines = static_cast<int>(random() % 12);
  for (int i = 0; i < lines; ++i) {
    text += Pick(random, kRawLines);
    if (i + 1 < lines || random() % 3 != 0) text += crlf ? "\r\n" : "\n";  // sometimes no final end
  }
  return text;
}

struct Twins {
  std::string ours_path, theirs_path;
  rk5::IniFile ours;
  Twins(const std::string& folder)
      : ours_path(folder + "\\ours.ini"), theirs_path(folder + "\\theirs.ini"), ours(ours_path) {}

  // The system may keep a profile file in memory; writing all NULs makes it let go.
  void Forget() { ::WritePrivateProfileStringA(nullptr, nullptr, nullptr, theirs_path.c_str()); }

  void Lay(const std::string& bytes) {
    rk5::platform::ReplaceFileAtomically(ours_path, bytes);
    rk5::platform::ReplaceFileAtomically(theirs_path, bytes);
    Forget();
  }
  void Remove() {
    ::DeleteFileA(ours_path.c_str());
    ::DeleteFileA(theirs_path.c_str());
    Forget();
  }

  std::string TheirRead(const std::string& section, const std::string& key) {
    std::vector<char> buffer(kBuffer);
    const DWORD n = ::GetPrivateProfileStringA(section.c_str(), key.c_str(), kDefault, buffer.data(), kBuffer,
                                               theirs_path.c_str());
    return std::string(buffer.data(), n);
  }
  Strings TheirSections() {
    std::vector<char> buffer(kBuffer);
    return SplitList(buffer, ::GetPrivateProfileSectionNamesA(buffer.data(), kBuffer, theirs_path.c_str()));
  }
  Strings TheirKeys(const std::string& section) {
    std::vector<char> buffer(kBuffer);
    return SplitList(buffer, ::GetPrivateProfileStringA(section.c_str(), nullptr, "", buffer.data(), kBuffer,
                                                        theirs_path.c_str()));
  }
};

// A value the system reads with its enclosing double quotes taken off.
bool QuotesTakenOff(const std::string& ours, const std::string& theirs) {
  return ours.size() >= 2 && ours.front() == '"' && ours.back() == '"' &&
         theirs == ours.substr(1, ours.size() - 2);
}

struct Tally {
  int steps = 0, reads = 0, decided = 0, unlisted = 0;
};

void Report(Tally& tally, bool decided, unsigned long long seed, int step, const std::string& what,
            const std::string& ours, const std::string& theirs, const std::string& file) {
  ++(decided ? tally.decided : tally.unlisted);
  if (decided && tally.decided > 3) return;  // a listed difference is shown a few times only
  std::printf("%s difference, seed %llu step %d: %s\n  ours:   %s\n  theirs: %s\n  file: %s\n",
              decided ? "listed" : "UNLISTED", seed, step, what.c_str(), ours.c_str(), theirs.c_str(),
              file.c_str());
}

std::string Shown(const std::string& bytes) {
  std::string shown;
  for (char c : bytes) shown += c == '\r' ? std::string("\\r") : c == '\n' ? std::string("\\n") : std::string(1, c);
  return shown;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: rk5_ini_compare <folder> <seed> <steps>\n");
    return 2;
  }
  const unsigned long long seed = std::stoull(argv[2]);
  const int steps = std::stoi(argv[3]);
  std::mt19937_64 random(seed);
  Twins twins(argv[1]);
  twins.Remove();
  Tally tally;
  for (int step = 0; step < steps; ++step, ++tally.steps) {
    const unsigned op = static_cast<unsigned>(random() % 100);
    const std::string section = Pick(random, kSections), key = Pick(random, kKeys);
    auto file = [&] { return Shown(rk5::platform::ReadWholeFile(twins.theirs_path, 1 << 20).value_or("(none)")); };
    if (op < 5) {
      twins.Lay(RawFile(random));
    } else if (op < 7) {
      twins.Remove();
    } else if (op < 40) {
      const std::string value = Pick(random, kValues);
      twins.ours.WriteString(section, key, value);
      ::WritePrivateProfileStringA(section.c_str(), key.c_str(), value.c_str(), twins.theirs_path.c_str());
    } else if (op < 70) {
      ++tally.reads;
      const std::string ours = twins.ours.ReadString(section, key, kDefault);
      const std::string theirs = twins.TheirRead(section, key);
      if (ours != theirs) {
        Report(tally, QuotesTakenOff(ours, theirs), seed, step, "read [" + section + "] " + key, ours, theirs,
               file());
      }
    } else if (op < 85) {
      ++tally.reads;
      const std::string ours = Joined(twins.ours.ReadSections()), theirs = Joined(twins.TheirSections());
      if (ours != theirs) Report(tally, false, seed, step, "sections", ours, theirs, file());
    } else {
      ++tally.reads;
      const std::string ours = Joined(twins.ours.ReadSection(section)), theirs = Joined(twins.TheirKeys(section));
      if (ours != theirs) Report(tally, false, seed, step, "keys of [" + section + "]", ours, theirs, file());
    }
  }
  std::printf("ini comparison, seed %llu: %d steps, %d answers compared, %d listed differences\n", seed,
              tally.steps, tally.reads, tally.decided);
  std::printf("ini_compare: %d passed, %d failed\n", tally.reads - tally.unlisted - tally.decided + tally.decided,
              tally.unlisted);
  return tally.unlisted == 0 ? 0 : 1;
}
