#include "publish/catalogue_publishing.h"

#include "catalogue/catalogue_keys.h"
#include "ini/ini_document.h"
#include "ini/ini_file.h"
#include "install/archive_digest.h"
#include "install/archive_reader.h"
#include "install/archive_types.h"
#include "platform/atomic_file.h"
#include "platform/file_tree.h"
#include "platform/text.h"

namespace rk5 {
namespace {

PublishResult Failed(std::string message) { return {false, std::move(message)}; }

// The file name at the end of an address: after its last "/", without query or fragment.
std::string LastPathPart(std::string_view url) {
  url = url.substr(0, url.find_first_of("?#"));
  const std::size_t slash = url.rfind('/');
  return std::string(slash == std::string_view::npos ? url : url.substr(slash + 1));
}

bool IsPlainFileName(const std::string& name) {
  return !name.empty() && name != "." && name != ".." &&
         name.find_first_of("/\\") == std::string::npos;
}

bool IsZipArchive(const std::string& path) {
  try {
    ArchiveReader reader(path);
    return true;
  } catch (const ArchiveError&) {
    return false;
  }
}

std::string ShellQuoted(const std::string& text) {
  if (!text.empty() && text.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"
                                              "0123456789_-./=:@%+,") == std::string::npos) {
    return text;
  }
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

std::string InFolderNamed(std::string folder, const std::string& name) {
  const char separator = platform::PathSeparator();
  if (!folder.empty() && folder.back() != separator) folder += separator;
  return folder + name;
}

}  // namespace

PublishResult PublishCatalogue(const PublishRequest& request) {
  const std::optional<std::string> bytes =
      platform::ReadWholeFile(request.template_file, kMaxIniFileSize);
  if (!bytes) return Failed("Can't read the template " + request.template_file);
  IniDocument catalogue = IniDocument::Parse(*bytes);
  if (bytes->find('\0') != std::string::npos || catalogue.Sections().empty()) {
    return Failed(request.template_file + " is no INI catalogue template (no [section] in it)");
  }

  for (const std::string& section : catalogue.Sections()) {
    if (platform::EqualsFolded(section, kOwnSection)) continue;
    const std::optional<std::string_view> dl = catalogue.Value(section, tool_key::DL.name);
    const std::string name = dl ? LastPathPart(*dl) : section + ".zip";
    if (!IsPlainFileName(name)) return Failed("[" + section + "] DL names no archive file");
    const std::string archive = InFolderNamed(request.archives_folder, name);
    if (!IsZipArchive(archive)) {
      return Failed("[" + section + "] " + archive + " is missing or no ZIP archive");
    }
    const std::optional<std::string> digest = Sha256OfFile(archive);
    if (!digest) return Failed("[" + section + "] Can't read " + archive);
    catalogue.Write(section, tool_key::SHA256.name, *digest);
    if (!request.base_url.empty()) {
      const bool slash = request.base_url.back() == '/';
      catalogue.Write(section, tool_key::DL.name, request.base_url + (slash ? "" : "/") + name);
    }
  }
  if (!request.build_file.empty()) {
    const std::optional<std::string> digest = Sha256OfFile(request.build_file);
    if (!digest) return Failed("Can't read the build " + request.build_file);
    catalogue.Write(kOwnSection, own_key::SHA256.name, *digest);
  }
  if (!platform::ReplaceFileAtomically(request.output_file, catalogue.Serialize())) {
    return Failed(UnableToWrite(request.output_file));
  }
  return {true, {}};
}

std::string SignCommand(const std::string& secret_key, const std::string& output_file) {
  const std::string key = secret_key.empty() ? "" : " -s " + ShellQuoted(secret_key);
  return "minisign -S" + key + " -m " + ShellQuoted(output_file);
}

}  // namespace rk5
