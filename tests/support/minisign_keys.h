#pragma once
// A throwaway minisign key pair made by Debian's minisign binary in a scratch folder, and
// the signatures it makes: what a publisher's side produces, for the program to check.
#include <QProcess>
#include <QStandardPaths>

#include <optional>

#include "support/temp_dir.h"

namespace rk5::test {

inline bool HaveMinisign() { return !QStandardPaths::findExecutable("minisign").isEmpty(); }

class MinisignKeys {
 public:
  MinisignKeys() {  // PublicKeyLine() stays empty when minisign failed
    if (!Run({"-G", "-W", "-p", Path("pub"), "-s", Path("sec")})) return;
    const std::string pub = ReadFileBytes(dir_.file("pub"));
    const std::size_t line = pub.find('\n') + 1;
    public_key_ = pub.substr(line, pub.find('\n', line) - line);
  }
  const std::string& PublicKeyLine() const { return public_key_; }
  std::string SecretKeyFile() const { return dir_.file("sec").string(); }
  // The ".minisig" of bytes; minisign's own trusted comment (the signing time) by default.
  std::string Sign(const std::string& bytes, bool legacy = false,
                   const std::optional<std::string>& trusted_comment = std::nullopt) const {
    WriteFileBytes(dir_.file("message"), bytes);
    QStringList arguments{"-S", "-s", Path("sec"), "-m", Path("message")};
    if (legacy) arguments << "-l";
    if (trusted_comment) arguments << "-t" << QString::fromStdString(*trusted_comment);
    return Run(arguments) ? ReadFileBytes(dir_.file("message.minisig")) : std::string();
  }

 private:
  QString Path(const char* name) const { return QString::fromStdString(dir_.file(name).string()); }
  static bool Run(const QStringList& arguments) { return QProcess::execute("minisign", arguments) == 0; }

  TempDir dir_;
  std::string public_key_;
};

}  // namespace rk5::test
