#pragma once
// rk5helper-publish's work: a publisher's catalogue template and a folder of tool archives
// become the catalogue to upload, every digest computed rather than copied by hand.
#include <string>

namespace rk5 {

struct PublishRequest {
  std::string template_file;    // the catalogue as the publisher writes it
  std::string archives_folder;  // every tool's archive
  std::string output_file;      // the catalogue to upload; replaced whole or not at all
  std::string base_url;         // optional: where the archives will lie; sets each DL
  std::string build_file;       // optional: the program's new build; sets [Rk5Helper] SHA256
};

struct PublishResult {
  bool ok = false;
  std::string message;  // what went wrong, naming the section or file
  explicit operator bool() const { return ok; }
};

// For every tool section: its archive is the file named by the last path part of DL, or
// section + ".zip" without DL, in archives_folder; it must be a readable ZIP archive. Its
// SHA256 (and DL from base_url) are written; every other key of the template stays.
PublishResult PublishCatalogue(const PublishRequest& request);

// The minisign command that signs the output with the given secret key (empty: minisign's
// own default key), quoted for a POSIX shell.
std::string SignCommand(const std::string& secret_key, const std::string& output_file);

}  // namespace rk5
