// rk5helper-publish: turns a catalogue template and a folder of tool archives into the
// catalogue to upload, then prints (or, with --sign, runs) the minisign command that signs
// it. Keys are made and used by minisign alone.
#include <QCoreApplication>
#include <QProcess>
#include <QStringList>

#include <cstdio>
#include <map>
#include <string>

#include "publish/catalogue_publishing.h"

namespace {

constexpr char kUsage[] =
    "usage: rk5helper-publish --template FILE --archives FOLDER --output FILE\n"
    "                         [--base-url URL] [--build FILE] [--secret-key FILE] [--sign]\n"
    "  Writes FILE from the template with each tool's SHA256 (and DL under URL), and\n"
    "  [Rk5Helper] SHA256 from the new build; then prints the command that signs it, or\n"
    "  runs it with --sign. The secret key defaults to minisign's own.\n";

int Usage(const char* problem) {
  std::fprintf(stderr, "rk5helper-publish: %s\n%s", problem, kUsage);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  std::map<std::string, std::string> options;
  bool sign = false;
  for (int i = 1; i < argc; ++i) {
    const std::string name = argv[i];
    if (name == "--sign") {
      sign = true;
    } else if ((name == "--template" || name == "--archives" || name == "--output" ||
                name == "--base-url" || name == "--build" || name == "--secret-key") &&
               i + 1 < argc) {
      options[name] = argv[++i];
    } else {
      return Usage(("unknown or incomplete option " + name).c_str());
    }
  }
  if (options["--template"].empty() || options["--archives"].empty() ||
      options["--output"].empty()) {
    return Usage("--template, --archives and --output are needed");
  }

  const rk5::PublishRequest request{options["--template"], options["--archives"],
                                    options["--output"], options["--base-url"], options["--build"]};
  if (const rk5::PublishResult result = rk5::PublishCatalogue(request); !result) {
    std::fprintf(stderr, "rk5helper-publish: %s\n", result.message.c_str());
    return 1;
  }
  const std::string secret_key = options["--secret-key"];
  std::printf("wrote %s\n", request.output_file.c_str());
  if (!sign) {
    std::printf("sign it with:\n  %s\n", rk5::SignCommand(secret_key, request.output_file).c_str());
    return 0;
  }

  QCoreApplication application(argc, argv);
  QProcess minisign;
  QStringList arguments{QStringLiteral("-S"), QStringLiteral("-m"),
                        QString::fromLocal8Bit(request.output_file)};
  // Without -s, minisign finds its own default key (the "~" is the shell's, not ours).
  if (!secret_key.empty()) arguments << QStringLiteral("-s") << QString::fromLocal8Bit(secret_key);
  minisign.setProcessChannelMode(QProcess::ForwardedChannels);
  minisign.setInputChannelMode(QProcess::ForwardedInputChannel);
  minisign.start(QStringLiteral("minisign"), arguments);
  if (!minisign.waitForFinished(-1) || minisign.exitStatus() != QProcess::NormalExit ||
      minisign.exitCode() != 0) {
    std::fprintf(stderr, "rk5helper-publish: minisign did not sign %s\n",
                 request.output_file.c_str());
    return 1;
  }
  std::printf("signed %s%s\n", request.output_file.c_str(), ".minisig");
  return 0;
}
