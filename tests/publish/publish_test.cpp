// rk5helper-publish end to end: template and archives become a catalogue that sha256sum and
// minisign agree with, which the program, its key pinned, refreshes and installs from.
#include <QLabel>
#include <QPushButton>
#include <gtest/gtest.h>

#include "gui/main/main_window.h"
#include "gui/download/download_window.h"
#include "install/scratch_marks.h"
#include "support/alert_catcher.h"
#include "support/event_wait.h"
#include "support/http_test_server.h"
#include "support/minisign_keys.h"
#include "support/zip_builder.h"

namespace rk5::test {
namespace {

namespace fs = std::filesystem;

// The command's exit code and what it said.
std::pair<int, std::string> RunCommand(const QString& program, const QStringList& arguments) {
  QProcess process;
  process.start(program, arguments);
  EXPECT_TRUE(process.waitForFinished(60000));
  return {process.exitCode(), (process.readAllStandardError() + process.readAllStandardOutput()).toStdString()};
}

class PublishCatalogue : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!HaveMinisign()) GTEST_SKIP() << "minisign is not installed";
    fs::create_directories(dir_.file("archives"));
    ZipBuilder().Folder("Hex/").File("Hex/hexview", "#!/bin/sh\n").WriteTo(dir_.file("archives/hexview.zip"));
    ZipBuilder().File("Port/port", "p").WriteTo(dir_.file("archives/Port.zip"));
    WriteFileBytes(dir_.file("template.ini"),
                   "; notes stay\r\n[Hex]\r\nName=Hex Viewer\r\nDL=http://old/f/hexview.zip?v=1\r\n"
                   "OBuild=3\r\nOExeName=hexview\r\n[Port]\r\nOBuild=2\r\n[Rk5Helper]\r\nBuild=2\r\n");
  }
  std::pair<int, std::string> Publish(const std::string& template_name, const fs::path& output,
                                      QStringList more = {}) {
    return RunCommand(RK5_TEST_BINARY_DIR "/rk5helper-publish",
               QStringList{"--template", Q(dir_.file(template_name)), "--archives", Q(dir_.file("archives")),
                           "--output", Q(output), "--base-url", "http://catalogue.test/files", "--build",
                           RK5_HELPER_EXE} + more);
  }
  std::string Sha256Sum(const fs::path& file) { return RunCommand("sha256sum", {Q(file)}).second.substr(0, 64); }
  static QString Q(const fs::path& path) { return QString::fromStdString(path.string()); }
  TempDir dir_;
};

TEST_F(PublishCatalogue, ItsSignedCatalogueIsRefreshedAndInstalledFrom) {
  MinisignKeys keys;
  const auto [code, said] = Publish("template.ini", dir_.file("rk5h.ini"), {"--secret-key", Q(keys.SecretKeyFile()), "--sign"});
  ASSERT_EQ(code, 0) << said;
  const std::string catalogue = ReadFileBytes(dir_.file("rk5h.ini"));
  EXPECT_EQ(catalogue, "; notes stay\r\n[Hex]\r\nName=Hex Viewer\r\nDL=http://catalogue.test/files/hexview.zip\r\n"
                       "OBuild=3\r\nOExeName=hexview\r\nSHA256=" + Sha256Sum(dir_.file("archives/hexview.zip")) +
                       "\r\n[Port]\r\nOBuild=2\r\nSHA256=" + Sha256Sum(dir_.file("archives/Port.zip")) +
                       "\r\nDL=http://catalogue.test/files/Port.zip\r\n[Rk5Helper]\r\nBuild=2\r\nSHA256=" +
                       Sha256Sum(RK5_HELPER_EXE) + "\r\n");
  HttpTestServer server;
  EnvOverride proxy("http_proxy", server.ProxyUrl()), no_proxy("no_proxy", std::nullopt);
  server.Route("/rk5h.ini", Ok(catalogue));
  server.Route("/rk5h.ini.minisig", Ok(ReadFileBytes(dir_.file("rk5h.ini.minisig"))));
  server.Route("/files/hexview.zip", Ok(ReadFileBytes(dir_.file("archives/hexview.zip"))));
  const fs::path program = dir_.path() / "Rk5" / "Helper";
  fs::create_directories(program);
  WriteFileBytes(program / "Settings.ini", "[Server]\nURL=http://catalogue.test/rk5h.ini\nPublicKey=" + keys.PublicKeyLine());
  WriteFileBytes(program / "Local.ini", "[Stray]\nName=Stray\nOBuild=1\nDL=http://catalogue.test/files/hexview.zip\n");
  RunState state{.ProgramFolder = program.string() + "/"};
  AlertCatcher alerts;
  TMain main(state);
  main.btnRefresh()->click();
  ASSERT_TRUE(RunUntil([&] { return main.btnRefresh()->isEnabled(); }));
  ScratchMarks marks;
  const auto download = [&](const std::string& section) {
    TDownload window(state, section, {marks, InstallPlatform::ThisSystem(), ArchivePlatform::ThisSystem()}, "rk5helper", {});
    EXPECT_TRUE(RunUntil([&] { return window.btnDl()->text() == "OK"; }));
    return window.lab()->text().toStdString();
  };
  EXPECT_EQ(download("Hex"), "Hex Viewer has been installed!");
  const std::size_t requests = server.RequestCount();
  EXPECT_EQ(download("Stray"), "Error while downloading file!");  // merged before the key
  EXPECT_EQ(server.RequestCount(), requests);
  EXPECT_TRUE(alerts.Texts().isEmpty());
}

TEST_F(PublishCatalogue, BadInputFailsWithAMessageAndWritesNothing) {
  WriteFileBytes(dir_.file("archives/broken.zip"), "PK not really");
  WriteFileBytes(dir_.file("notes.txt"), std::string("just words\0", 11));
  WriteFileBytes(dir_.file("missing.ini"), "[Gone]");
  for (const char* name : {"broken.ini", "a-file"}) WriteFileBytes(dir_.file(name), "[broken]");
  for (const auto& [name, output] : {std::pair{"missing.ini", dir_.file("out.ini")}, {"broken.ini", dir_.file("out.ini")},
                                     {"notes.txt", dir_.file("out.ini")}, {"template.ini", dir_.file("a-file/out.ini")}}) {
    const auto [code, said] = Publish(name, output);
    EXPECT_EQ(code, 1) << name;
    EXPECT_NE(said.find("rk5helper-publish: "), std::string::npos) << name;
    EXPECT_FALSE(fs::exists(output)) << name;
  }
}

}  // namespace
}  // namespace rk5::test
