// The INI engine against the system's profile functions: one seeded random sequence of
// writes, reads, section listings and key listings applied to twin files, every answer
// compared. Small alphabets make names collide; raw files with comments, blanks, lines
// without "=", repeated sections and keys, CRLF or LF and no final line end are laid
// under both now and then, and sometimes the files are removed.
//   rk5_ini_compare <folder> <seed> <steps>
// Prints each difference with the step that shows it; differences the project has
// decided on are counted apart. Exits non-zero on any other difference.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "ini/ini_file.h"
#include "platform/atomic_file.h"
#include "platform/text.h"

namespace {

using Strings = std::vector<std::string>;

const Strings kSections = {"A", "a", "B", " b", "c c", "A "};
const Strings kKeys = {"k", "K", " k", "x", "y y", "Z", "k "};
const Strings kValues = {"",   "1",   "v",   " v ", "\"q\"", "' s '", "\"x", "a=b",
                         ";c", "0x10", "-3", "$1f", std::string(300, 'L')};
const Strings kRawLines = {"[A]", "[a]", "[ b ]", "[B]", "k=1", "K = 2", " x=3 ", "y y=", "Z",
                           "; comment", "# hash", "", "  ", "=v", "[c c]", "k=\"q\"", "junk line",
                           "[unclosed", std::string(300, 'L') + "=long"};

constexpr DWORD kBuffer = 1 << 16;
constexpr char kDefault[] = "(default)";
constexpr int kDefaultNumber = 7;
constexpr std::size_t kLargestFile = 1 << 20;

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

// The differences the README lists, each recognised by what it looks like.

// The system lists a section again for each repeated header (in any letter case), and a
// key again for each repeated line, with empty key names too; we list the first only, as
// the reads use only the first.
bool RepeatsListed(const Strings& ours, const Strings& theirs) {
  Strings firsts;
  for (const std::string& name : theirs) {
    if (name.empty()) continue;
    bool seen = false;
    for (const std::string& first : firsts) seen = seen || rk5::platform::EqualsFolded(first, name);
    if (!seen) firsts.push_back(name);
  }
  return firsts == ours && theirs != ours;
}

// The system's key listing takes the section name with its blanks, where its reads and
// ours trim them; it finds no section then.
bool BlanksKeptInListedName(const std::string& section, const Strings& theirs) {
  return rk5::platform::Trim(section) != section && theirs.empty();
}

// The system takes a line without "=" as the line of the key it names, and writes that
// key there; we keep such a line as it is and add the key at the end of its section.
// The same keys then list in another order.
bool JunkLineTakenAsKey(const Strings& ours, const Strings& theirs, const std::string& bytes) {
  auto folded_set = [](const Strings& names) {
    Strings set;
    for (const std::string& name : names) {
      if (!name.empty()) set.push_back(rk5::platform::FoldCase(name));
    }
    std::sort(set.begin(), set.end());
    set.erase(std::unique(set.begin(), set.end()), set.end());
    return set;
  };
  bool junk_line = false;
  for (std::size_t at = 0; at < bytes.size();) {
    std::size_t end = bytes.find('\n', at);
    if (end == std::string::npos) end = bytes.size();
    const std::string_view line = rk5::platform::Trim(std::string_view(bytes).substr(at, end - at), " \t\r");
    junk_line = junk_line || (!line.empty() && line[0] != '[' && line[0] != ';' && line.find('=') == std::string_view::npos);
    at = end + 1;
  }
  return junk_line && folded_set(ours) == folded_set(theirs);
}

// A key line with an empty name ("=v") ends the system's double-NUL key list early; we
// leave such a line out of the list.
bool EmptyNameEndsList(const Strings& ours, const Strings& theirs, const std::string& bytes) {
  const bool empty_name = bytes.rfind("=", 0) == 0 || bytes.find("\n=") != std::string::npos;
  return empty_name && theirs.size() < ours.size() && std::equal(theirs.begin(), theirs.end(), ours.begin());
}

// Numbers: hexadecimal ("0x", "$") reads as its number here, where the system reads the
// digits before it; a value that is no number gives the caller's default here and 0
// there.
bool NumberReadOurWay(const std::optional<std::string>& value, int ours) {
  if (!value) return false;
  const std::string_view text = rk5::platform::Trim(*value);
  const bool hexadecimal = text.rfind("0x", 0) == 0 || text.rfind("0X", 0) == 0 || text.rfind("$", 0) == 0;
  const std::string_view digits = text.substr(!text.empty() && (text[0] == '-' || text[0] == '+'));
  const bool no_number = digits.empty() || digits[0] < '0' || digits[0] > '9';
  return hexadecimal || (no_number && ours == kDefaultNumber);
}

// The system writes section and key names with the blanks they were given and drops the
// blanks before a value; we trim names and keep the value as given. Both read the same.
std::string NamesAndValuesTrimmed(std::string_view bytes) {
  std::string out;
  while (!bytes.empty()) {
    const std::size_t end = bytes.find('\n');
    std::string_view line = bytes.substr(0, end);
    bytes = end == std::string_view::npos ? std::string_view() : bytes.substr(end + 1);
    const std::size_t eq = line.find('=');
    const std::size_t close = line.find(']');
    if (!line.empty() && line[0] == '[' && close != std::string_view::npos) {
      out += "[" + std::string(rk5::platform::Trim(line.substr(1, close - 1))) + "]";
    } else if (eq != std::string_view::npos && !line.empty() && line[0] != ';') {
      out += std::string(rk5::platform::Trim(line.substr(0, eq))) + "=" +
             std::string(rk5::platform::Trim(line.substr(eq + 1), " \t\r"));
    } else {
      out += line;
    }
    out += "\n";
  }
  return out;
}

struct Tally {
  int steps = 0, reads = 0, decided = 0, unlisted = 0;
  std::map<std::string, std::pair<int, int>> kinds;  // listed kind -> first step, count
};

// kind: the listed difference this one is, or nullptr.
void Report(Tally& tally, const char* kind, unsigned long long seed, int step, const std::string& what,
            const std::string& ours, const std::string& theirs, const std::string& file) {
  const bool decided = kind != nullptr;
  ++(decided ? tally.decided : tally.unlisted);
  if (decided) {
    auto [at, added] = tally.kinds.emplace(kind, std::make_pair(step, 0));
    ++at->second.second;
    if (!added) return;  // a listed difference is shown the first time only
  }
  std::printf("%s difference, seed %llu step %d: %s\n  ours:   %s\n  theirs: %s\n  their file: %s\n",
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
  bool same_layout = true;
  for (int step = 0; step < steps; ++step, ++tally.steps) {
    const unsigned op = static_cast<unsigned>(random() % 100);
    const std::string section = Pick(random, kSections), key = Pick(random, kKeys);
    auto file = [&] {
      return Shown(rk5::platform::ReadWholeFile(twins.theirs_path, kLargestFile).value_or("(none)")) +
             "\n  our file:   " + Shown(rk5::platform::ReadWholeFile(twins.ours_path, kLargestFile).value_or("(none)"));
    };
    if (op < 5) {
      twins.Lay(RawFile(random));
      same_layout = false;
    } else if (op < 7) {
      twins.Remove();
      same_layout = true;
    } else if (op < 40) {
      const std::string value = Pick(random, kValues);
      const std::string before = Shown(rk5::platform::ReadWholeFile(twins.theirs_path, kLargestFile).value_or("(none)"));
      twins.ours.WriteString(section, key, value);
      ::WritePrivateProfileStringA(section.c_str(), key.c_str(), value.c_str(), twins.theirs_path.c_str());
      // From a file both wrote (or none) both write the same bytes; files laid from
      // outside may be rewritten in the system's own layout, and ours keeps every byte.
      if (same_layout) {
        ++tally.reads;
        const std::string ours = rk5::platform::ReadWholeFile(twins.ours_path, kLargestFile).value_or("(none)");
        const std::string theirs = rk5::platform::ReadWholeFile(twins.theirs_path, kLargestFile).value_or("(none)");
        if (ours != theirs) {
          Report(tally, NamesAndValuesTrimmed(ours) == NamesAndValuesTrimmed(theirs) ? "names written with blanks" : nullptr,
                 seed, step,
                 "bytes after writing [" + section + "] " + key + "=" + value, Shown(ours), Shown(theirs), before);
          same_layout = false;
        }
      }
    } else if (op < 65) {
      ++tally.reads;
      const std::string ours = twins.ours.ReadString(section, key, kDefault);
      const std::string theirs = twins.TheirRead(section, key);
      if (ours != theirs) Report(tally, nullptr, seed, step, "read [" + section + "] " + key, ours, theirs, file());
    } else if (op < 70) {
      ++tally.reads;
      const int ours = twins.ours.ReadInteger(section, key, kDefaultNumber);
      const int theirs = static_cast<int>(
          ::GetPrivateProfileIntA(section.c_str(), key.c_str(), kDefaultNumber, twins.theirs_path.c_str()));
      if (ours != theirs) {
        const auto value = twins.ours.ValueExists(section, key)
                               ? std::optional<std::string>(twins.ours.ReadString(section, key, ""))
                               : std::nullopt;
        Report(tally, NumberReadOurWay(value, ours) ? "numbers" : nullptr, seed, step,
               "number [" + section + "] " + key, std::to_string(ours), std::to_string(theirs), file());
      }
    } else if (op < 85) {
      ++tally.reads;
      const Strings ours = twins.ours.ReadSections(), theirs = twins.TheirSections();
      if (ours != theirs) {
        Report(tally, RepeatsListed(ours, theirs) ? "repeats listed" : nullptr, seed, step, "sections", Joined(ours),
               Joined(theirs), file());
      }
    } else {
      ++tally.reads;
      const Strings ours = twins.ours.ReadSection(section), theirs = twins.TheirKeys(section);
      if (ours != theirs) {
        const std::string bytes = rk5::platform::ReadWholeFile(twins.theirs_path, kLargestFile).value_or("");
        const char* kind = RepeatsListed(ours, theirs)                   ? "repeats listed"
                           : BlanksKeptInListedName(section, theirs)        ? "blanks kept in a listed name"
                           : EmptyNameEndsList(ours, theirs, bytes)         ? "empty key name ends the list"
                           : JunkLineTakenAsKey(ours, theirs, rk5::platform::ReadWholeFile(twins.ours_path, kLargestFile).value_or(""))
                               ? "line without = taken as a key"
                               : nullptr;
        Report(tally, kind, seed, step, "keys of [" + section + "]", Joined(ours),
               Joined(theirs), file());
      }
    }
  }
  std::printf("ini comparison, seed %llu: %d steps, %d answers compared, %d listed differences\n", seed,
              tally.steps, tally.reads, tally.decided);
  for (const auto& [kind, first_and_count] : tally.kinds) {
    std::printf("listed: %s, %d times, first at seed %llu step %d\n", kind.c_str(), first_and_count.second, seed,
                first_and_count.first);
  }
  std::printf("ini_compare: %d passed, %d failed\n", tally.reads - tally.unlisted, tally.unlisted);
  return tally.unlisted == 0 ? 0 : 1;
}
