// The INI engine against the system's profile functions on twin files, one seeded random
// sequence of writes, reads and listings (README, "Windows"). Prints each difference with
// its step; listed ones are counted apart, any other fails the run.
//   rk5_ini_compare <folder> <seed> <steps>
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <random>
#include <set>

#include "ini/ini_file.h"
#include "platform/atomic_file.h"
#include "platform/text.h"

namespace {

namespace platform = rk5::platform;
using Strings = std::vector<std::string>;

const Strings kSections = {"A", "a", "B", " b", "c c", "A "};
const Strings kKeys = {"k", "K", " k", "x", "y y", "Z", "k "};
const Strings kValues = {"", "1", "v", " v ", "\"q\"", "' s '", "\"x", "a=b", ";c", "0x10", "-3", "$1f", std::string(300, 'L')};
const Strings kRawLines = {"[A]", "[a]", "[ b ]", "[B]", "k=1", "K = 2", " x=3 ", "y y=", "Z", "; comment", "# hash", "",
                           "  ", "=v", "[c c]", "k=\"q\"", "junk line", "[unclosed", std::string(300, 'L') + "=long"};
constexpr DWORD kBuffer = 1 << 16;
constexpr char kDefault[] = "(default)";
constexpr int kDefaultNumber = 7;

std::string Pick(std::mt19937_64& random, const Strings& from) {
  return from[std::uniform_int_distribution<std::size_t>(0, from.size() - 1)(random)];
}

std::string Bytes(const std::string& path, const char* none = "") {
  return platform::ReadWholeFile(path, 1 << 20).value_or(none);
}

Strings Lines(std::string_view bytes) {
  Strings lines;
  for (std::size_t at = 0, end = 0; at < bytes.size(); at = end + 1) {
    end = std::min(bytes.find('\n', at), bytes.size());
    lines.emplace_back(bytes.substr(at, end - at));
  }
  return lines;
}

std::string Joined(const Strings& names) {
  std::string text;
  for (const std::string& name : names) text += "[" + name + "]";
  return text;
}

std::string Shown(const std::string& bytes) {
  std::string shown;
  for (char c : bytes) shown += c == '\r' ? std::string("\\r") : c == '\n' ? std::string("\\n") : std::string(1, c);
  return shown;
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
  explicit Twins(const std::string& folder)
      : ours_path(folder + "\\ours.ini"), theirs_path(folder + "\\theirs.ini"), ours(ours_path) {}

  // Both files laid from bytes, or removed. The system may keep a profile file in memory;
  // writing all NULs makes it let go.
  void Lay(const std::optional<std::string>& bytes) {
    for (const std::string& path : {ours_path, theirs_path}) {
      bytes ? (void)platform::ReplaceFileAtomically(path, *bytes) : (void)::DeleteFileA(path.c_str());
    }
    ::WritePrivateProfileStringA(nullptr, nullptr, nullptr, theirs_path.c_str());
  }
  std::string TheirRead(const std::string& section, const std::string& key) {
    std::vector<char> buffer(kBuffer);
    return std::string(buffer.data(), ::GetPrivateProfileStringA(section.c_str(), key.c_str(), kDefault, buffer.data(),
                                                                 kBuffer, theirs_path.c_str()));
  }
  // The section names (no section) or a section's keys, from the system's double-NUL list.
  Strings TheirList(const char* section) {
    std::vector<char> buffer(kBuffer);
    const DWORD length = section ? ::GetPrivateProfileStringA(section, nullptr, "", buffer.data(), kBuffer, theirs_path.c_str())
                                 : ::GetPrivateProfileSectionNamesA(buffer.data(), kBuffer, theirs_path.c_str());
    Strings names(1);
    for (DWORD i = 0; i < length; ++i) buffer[i] ? names.back() += buffer[i] : names.emplace_back();
    if (names.back().empty()) names.pop_back();
    return names;
  }
};

// The differences the README lists, each recognised by what it looks like.
// The system lists repeated sections (any letter case) and keys, and empty key names.
bool RepeatsListed(const Strings& ours, const Strings& theirs) {
  Strings firsts;
  for (const std::string& name : theirs) {
    const auto same = [&](const std::string& first) { return platform::EqualsFolded(first, name); };
    if (!name.empty() && std::none_of(firsts.begin(), firsts.end(), same)) firsts.push_back(name);
  }
  return firsts == ours && theirs != ours;
}

// The system writes a key onto a line without "=" that names it; we add it at the
// section's end, so the same keys list in another order.
bool JunkLineTakenAsKey(const Strings& ours, const Strings& theirs, const std::string& bytes) {
  auto folded_set = [](const Strings& names) {
    std::set<std::string> set;
    for (const std::string& name : names) set.insert(platform::FoldCase(name));
    set.erase("");
    return set;
  };
  const Strings lines = Lines(bytes);
  return std::any_of(lines.begin(), lines.end(), [](const std::string& raw) {
    const std::string_view line = platform::Trim(raw, " \t\r");
    return !line.empty() && line[0] != '[' && line[0] != ';' && line.find('=') == std::string_view::npos;
  }) && folded_set(ours) == folded_set(theirs);
}

// A key line with an empty name ("=v") ends the system's double-NUL key list early.
bool EmptyNameEndsList(const Strings& ours, const Strings& theirs, const std::string& bytes) {
  const bool empty_name = bytes.rfind("=", 0) == 0 || bytes.find("\n=") != std::string::npos;
  return empty_name && theirs.size() < ours.size() && std::equal(theirs.begin(), theirs.end(), ours.begin());
}

// Hexadecimal ("0x", "$") reads as its number here, the digits before it there; no
// number gives the caller's default here and 0 there.
bool NumberReadOurWay(const std::optional<std::string>& value, int ours) {
  if (!value) return false;
  const std::string_view text = platform::Trim(*value);
  const bool hexadecimal = text.rfind("0x", 0) == 0 || text.rfind("0X", 0) == 0 || text.rfind("$", 0) == 0;
  const std::string_view digits = text.substr(!text.empty() && (text[0] == '-' || text[0] == '+'));
  return hexadecimal || ((digits.empty() || digits[0] < '0' || digits[0] > '9') && ours == kDefaultNumber);
}

// The system writes names with their blanks and drops those before a value; we trim
// names and keep the value as given. Both read the same.
std::string NamesAndValuesTrimmed(const std::string& bytes) {
  std::string out;
  for (const std::string& raw : Lines(bytes)) {
    const std::string_view line = raw;
    const std::size_t eq = line.find('='), close = line.find(']');
    if (!line.empty() && line[0] == '[' && close != std::string_view::npos) {
      out += "[" + std::string(platform::Trim(line.substr(1, close - 1))) + "]";
    } else if (eq != std::string_view::npos && !line.empty() && line[0] != ';') {
      out += std::string(platform::Trim(line.substr(0, eq))) + "=" + std::string(platform::Trim(line.substr(eq + 1), " \t\r"));
    } else {
      out += line;
    }
    out += "\n";
  }
  return out;
}

struct Tally {
  unsigned long long seed;
  int reads = 0, decided = 0, unlisted = 0;
  std::map<std::string, std::pair<int, int>> kinds;  // listed kind -> first step, count

  // kind: the listed difference this one is, or nullptr; a listed one is shown once.
  void Report(const char* kind, int step, const std::string& what, const std::string& ours, const std::string& theirs,
              const std::string& file) {
    ++(kind ? decided : unlisted);
    if (kind && ++kinds.emplace(kind, std::make_pair(step, 0)).first->second.second > 1) return;
    std::printf("%s difference, seed %llu step %d: %s\n  ours:   %s\n  theirs: %s\n  their file: %s\n",
                kind ? "listed" : "UNLISTED", seed, step, what.c_str(), ours.c_str(), theirs.c_str(), file.c_str());
  }
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: rk5_ini_compare <folder> <seed> <steps>\n");
    return 2;
  }
  Tally tally{std::stoull(argv[2]), 0, 0, 0, {}};
  const int steps = std::stoi(argv[3]);
  std::mt19937_64 random(tally.seed);
  Twins twins(argv[1]);
  twins.Lay(std::nullopt);
  bool same_layout = true;
  for (int step = 0; step < steps; ++step) {
    const unsigned op = static_cast<unsigned>(random() % 100);
    const std::string section = Pick(random, kSections), key = Pick(random, kKeys);
    const std::string where = "[" + section + "] " + key;
    auto files = [&] {
      return Shown(Bytes(twins.theirs_path, "(none)")) + "\n  our file:   " + Shown(Bytes(twins.ours_path, "(none)"));
    };
    tally.reads += op >= 40;
    const char* kind = nullptr;
    std::string what = "keys of [" + section + "]", ours, theirs;
    if (op < 7) {
      twins.Lay(op < 5 ? std::optional(RawFile(random)) : std::nullopt);
      same_layout = op >= 5;
    } else if (op < 40) {
      const std::string value = Pick(random, kValues), before = Shown(Bytes(twins.theirs_path, "(none)"));
      twins.ours.WriteString(section, key, value);
      ::WritePrivateProfileStringA(section.c_str(), key.c_str(), value.c_str(), twins.theirs_path.c_str());
      // From a file both wrote (or none) both write the same bytes; files laid from
      // outside may be rewritten in the system's own layout, and ours keeps every byte.
      if (!same_layout) continue;
      ++tally.reads;
      ours = Bytes(twins.ours_path, "(none)"), theirs = Bytes(twins.theirs_path, "(none)");
      if (ours == theirs) continue;
      same_layout = false;
      kind = NamesAndValuesTrimmed(ours) == NamesAndValuesTrimmed(theirs) ? "names written with blanks" : nullptr;
      tally.Report(kind, step, "bytes after writing " + where + "=" + value, Shown(ours), Shown(theirs), before);
    } else if (op < 65) {
      what = "read " + where, ours = twins.ours.ReadString(section, key, kDefault), theirs = twins.TheirRead(section, key);
    } else if (op < 70) {
      const int number = twins.ours.ReadInteger(section, key, kDefaultNumber);
      what = "number " + where, ours = std::to_string(number), theirs = std::to_string(static_cast<int>(
          ::GetPrivateProfileIntA(section.c_str(), key.c_str(), kDefaultNumber, twins.theirs_path.c_str())));
      const bool exists = ours != theirs && twins.ours.ValueExists(section, key);
      kind = NumberReadOurWay(exists ? std::optional(twins.ours.ReadString(section, key, "")) : std::nullopt, number)
                 ? "numbers" : nullptr;
    } else {
      const Strings our_names = op < 85 ? twins.ours.ReadSections() : twins.ours.ReadSection(section);
      const Strings their_names = twins.TheirList(op < 85 ? nullptr : section.c_str());
      what = op < 85 ? "sections" : what, ours = Joined(our_names), theirs = Joined(their_names);
      kind = RepeatsListed(our_names, their_names)                         ? "repeats listed"
             : op < 85                                                        ? nullptr
             : platform::Trim(section) != section && their_names.empty()      ? "blanks kept in a listed name"
             : EmptyNameEndsList(our_names, their_names, Bytes(twins.theirs_path)) ? "empty key name ends the list"
             : JunkLineTakenAsKey(our_names, their_names, Bytes(twins.ours_path))  ? "line without = taken as a key"
                                                                                   : nullptr;
    }
    if (op >= 40 && ours != theirs) tally.Report(kind, step, what, ours, theirs, files());
  }
  std::printf("ini comparison, seed %llu: %d steps, %d answers compared, %d listed differences\n", tally.seed, steps,
              tally.reads, tally.decided);
  for (const auto& [kind, first_and_count] : tally.kinds) {
    std::printf("listed: %s, %d times, first at seed %llu step %d\n", kind.c_str(), first_and_count.second, tally.seed,
                first_and_count.first);
  }
  std::printf("ini_compare: %d passed, %d failed\n", tally.reads - tally.unlisted, tally.unlisted);
  return tally.unlisted == 0 ? 0 : 1;
}
