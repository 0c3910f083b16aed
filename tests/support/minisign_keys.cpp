#include "support/minisign_keys.h"

#include <QProcess>
#include <QStandardPaths>

namespace rk5::test {
namespace {

bool Run(const QStringList& arguments) {
  QProcess minisign;
  minisign.start(QStringLiteral("minisign"), arguments);
  minisign.closeWriteChannel();
  return minisign.waitForFinished(60000) && minisign.exitStatus() == QProcess::NormalExit &&
         minisign.exitCode() == 0;
}

QString Q(const std::string& text) { return QString::fromStdString(text); }

}  // namespace

bool HaveMinisign() { return !QStandardPaths::findExecutable(QStringLiteral("minisign")).isEmpty(); }

MinisignKeys::MinisignKeys() {
  if (!Run({"-G", "-W", "-p", Q(dir_.file("pub").string()), "-s", Q(SecretKeyFile())})) return;
  const std::string pub = ReadFileBytes(dir_.file("pub"));
  const std::size_t line = pub.find('\n') + 1;
  public_key_ = pub.substr(line, pub.find('\n', line) - line);
}

std::string MinisignKeys::Sign(const std::string& bytes, bool legacy,
                               const std::optional<std::string>& trusted_comment) const {
  const std::string message = dir_.file("message").string();
  WriteFileBytes(message, bytes);
  QStringList arguments{"-S", "-s", Q(SecretKeyFile()), "-m", Q(message)};
  if (legacy) arguments << "-l";
  if (trusted_comment) arguments << "-t" << Q(*trusted_comment);
  return Run(arguments) ? ReadFileBytes(message + ".minisig") : std::string();
}

}  // namespace rk5::test
