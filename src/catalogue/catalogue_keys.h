#pragma once
// The keys the program reads from its INI files, each with the value a missing key reads as.
#include <cstdint>
#include <string>
#include <string_view>

#include "ini/ini_document.h"

namespace rk5 {

struct TextKey {
  std::string_view name;
  std::string_view def;
};
struct NumberKey {
  std::string_view name;
  int32_t def;
};

inline std::string Read(const IniDocument& ini, std::string_view section, TextKey key) {
  return ini.ReadString(section, key.name, key.def);
}
inline int32_t Read(const IniDocument& ini, std::string_view section, NumberKey key) {
  return ini.ReadInteger(section, key.name, key.def);
}

// A tool's section of "Local.ini" (and of the fetched catalogue).
namespace tool_key {
inline constexpr TextKey Name{"Name", "<none>"};
inline constexpr TextKey ReadMe{"ReadMe", ""};
inline constexpr TextKey ExeName{"ExeName", ""};
inline constexpr TextKey Path{"Path", "<none>"};
inline constexpr TextKey DL{"DL", "<none>"};
inline constexpr TextKey By{"By", "<unknown>"};
inline constexpr NumberKey Build{"Build", 0};
inline constexpr NumberKey OBuild{"OBuild", 0};
inline constexpr NumberKey Installed{"Installed", 0};
inline constexpr TextKey Version{"Version", ""};
inline constexpr TextKey OVersion{"OVersion", ""};
inline constexpr TextKey OExeName{"OExeName", ""};
// The SHA-256 digest the tool's archive must have; empty: no check.
inline constexpr TextKey SHA256{"SHA256", ""};
}  // namespace tool_key

// The program's own section of a catalogue, matched letter for letter in "Local.ini"'s list.
inline constexpr std::string_view kOwnSection = "Rk5Helper";
namespace own_key {
inline constexpr NumberKey Build{"Build", 0};  // the newest build of the program
inline constexpr TextKey URL{"URL", ""};       // where that build's executable lies
inline constexpr TextKey SHA256{"SHA256", ""};  // when present: that executable's digest
}  // namespace own_key

// "Settings.ini": where the catalogue lies.
inline constexpr std::string_view kServerSection = "Server";
namespace server_key {
inline constexpr TextKey URL{"URL", "http://www.rk5helper.example/rk5h.ini"};
// The base64 line of the publisher's minisign ".pub" file: set, a catalogue is used only
// with a valid signature. Missing or blank: the key built in, if any (signed_catalogue.h).
inline constexpr TextKey PublicKey{"PublicKey", ""};
// Days after its signing that a catalogue is still taken; 0 or no number: no such limit.
inline constexpr NumberKey MaxAge{"MaxAge", 0};
}  // namespace server_key

// "Accepted.ini": the newest signing time this program folder has taken a catalogue of,
// out of every merge's reach.
inline constexpr std::string_view kAcceptedSection = "Catalogue";
namespace accepted_key {
inline constexpr TextKey Timestamp{"Timestamp", "0"};
}  // namespace accepted_key

}  // namespace rk5
