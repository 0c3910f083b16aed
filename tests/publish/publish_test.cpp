// rk5helper-publish end to end: a template and a folder of archives become a catalogue
// whose digests sha256sum agrees with, signed by minisign; the program pinned to the key
// refreshes it and installs from it, and refuses a tool the signed catalogue does not name.
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <gtest/gtest.h>

#include "catalogue/gui/main_window.h"
#include "install/gui/download_window.h"
#include "install/scratch_marks.h"
#include "support/alert_catcher.h"
#include "support/event_wait.h"
#include "support/http_test_server.h"
#include "support/minisign_keys.h"
#include "support/temp_dir.h"
#include "support/zip_builder.h"

namespace rk5::test {
namespace {

namespace fs = std::filesystem;
const QString kPublish = QStringLiteral(RK5_TEST_BINARY_DIR "/rk5helper-publish");

struct Published {
  int exit_code;
  std::string err;
};

Published Publish(const QStringList& arguments) {
  QProcess publish;
  publish.start(kPublish, arguments);
  publish.closeWriteChannel();
  EXPECT_TRUE(publish.waitForFinished(60000));
  return {publish.exitCode(), publish.readAllStandardError().toStdString()};
}

std::string Sha256Sum(const fs::path& file) {
  QProcess sum;
  sum.start("sha256sum", {QString::fromStdString(file.string())});
  sum.waitForFinished(60000);
  return sum.readAllStandardOutput().left(64).toStdString();
}

QString Q(const fs::path& path) { return QString::fromStdString(path.string()); }

class PublishCatalogue : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!HaveMinisign()) GTEST_SKIP() << "minisign is not installed";
    fs::create_directories(dir_.file("archives"));
    ZipBuilder().Folder("Hex/").File("Hex/hexview", "#!/bin/sh\n").WriteTo(dir_.file("archives/hexview.zip"));
    ZipBuilder().File("Port/port", "p").WriteTo(dir_.file("archives/Port.zip"));
    WriteFileBytes(dir_.file("template.ini"),
                   "; the publisher's notes stay\r\n[Hex]\r\nName=Hex Viewer\r\nDL=http://old/f/hexview.zip?v=1\r\n"
                   "OBuild=3\r\nOExeName=hexview\r\n[Port]\r\nName=Port\r\nOBuild=2\r\n[Rk5Helper]\r\nBuild=2\r\n");
  }

  QStringList Arguments(const fs::path& template_file, const fs::path& output) const {
    return {"--template", Q(template_file), "--archives", Q(dir_.file("archives")), "--output", Q(output),
            "--base-url", "http://catalogue.test/files", "--build", RK5_HELPER_EXE};
  }

  TempDir dir_;
};

TEST_F(PublishCatalogue, ItsSignedCatalogueIsRefreshedAndInstalledFrom) {
  MinisignKeys keys;
  const fs::path output = dir_.file("rk5h.ini");
  const Published run = Publish(Arguments(dir_.file("template.ini"), output) +
                          QStringList{"--secret-key", QString::fromStdString(keys.SecretKeyFile()), "--sign"});
  ASSERT_EQ(run.exit_code, 0) << run.err;
  const std::string catalogue = ReadFileBytes(output);
  EXPECT_EQ(catalogue,
            "; the publisher's notes stay\r\n[Hex]\r\nName=Hex Viewer\r\nDL=http://catalogue.test/files/hexview.zip\r\n"
            "OBuild=3\r\nOExeName=hexview\r\nSHA256=" + Sha256Sum(dir_.file("archives/hexview.zip")) +
            "\r\n[Port]\r\nName=Port\r\nOBuild=2\r\nSHA256=" + Sha256Sum(dir_.file("archives/Port.zip")) +
            "\r\nDL=http://catalogue.test/files/Port.zip\r\n[Rk5Helper]\r\nBuild=2\r\nSHA256=" +
            Sha256Sum(RK5_HELPER_EXE) + "\r\n");

  HttpTestServer server;
  EnvOverride proxy("http_proxy", server.ProxyUrl()), no_proxy("no_proxy", std::nullopt);
  server.Route("/rk5h.ini", Ok(catalogue));
  server.Route("/rk5h.ini.minisig", Ok(ReadFileBytes(dir_.file("rk5h.ini.minisig"))));
  server.Route("/files/hexview.zip", Ok(ReadFileBytes(dir_.file("archives/hexview.zip"))));
  const fs::path program = dir_.path() / "Rk5" / "Helper";
  fs::create_directories(program);
  WriteFileBytes(program / "Settings.ini",
                 "[Server]\nURL=http://catalogue.test/rk5h.ini\nPublicKey=" + keys.PublicKeyLine() + "\n");
  WriteFileBytes(program / "Local.ini", "[Stray]\nName=Stray\nOBuild=1\nDL=http://catalogue.test/files/hexview.zip\n");
  RunState state;
  state.ProgramFolder = program.string() + "/";
  AlertCatcher alerts;
  {
    TMain main(state);
    main.btnRefresh()->click();
    ASSERT_TRUE(RunUntil([&] { return main.btnRefresh()->isEnabled(); }));
    EXPECT_TRUE(alerts.Texts().isEmpty());
  }
  ScratchMarks marks;
  const auto download = [&](const std::string& section) {
    TDownload window(state, section, {marks, InstallPlatform::ThisSystem(), ArchivePlatform::ThisSystem()},
                     "rk5helper", {});
    EXPECT_TRUE(RunUntil([&] { return window.btnDl()->text() == "OK"; }));
    return window.lab()->text().toStdString();
  };
  EXPECT_EQ(download("Hex"), "Hex Viewer has been installed!");
  EXPECT_TRUE(fs::exists(dir_.path() / "Rk5" / "Hex" / "hexview"));
  const std::size_t requests = server.RequestCount();
  EXPECT_EQ(download("Stray"), "Error while downloading file!");  // merged unsigned, long ago
  EXPECT_EQ(server.RequestCount(), requests);
}

TEST_F(PublishCatalogue, BadInputFailsWithAMessageAndWritesNothing) {
  WriteFileBytes(dir_.file("archives/broken.zip"), "PK not really");
  WriteFileBytes(dir_.file("notes.txt"), std::string("just words\0", 11));
  WriteFileBytes(dir_.file("missing.ini"), "[Gone]\r\nName=x\r\n");
  WriteFileBytes(dir_.file("broken.ini"), "[broken]\r\nName=x\r\n");
  WriteFileBytes(dir_.file("a-file"), "");
  struct Case {
    const char* what;
    fs::path template_file, output;
  };
  for (const Case& bad : {Case{"missing archive", dir_.file("missing.ini"), dir_.file("out.ini")},
                          Case{"no ZIP", dir_.file("broken.ini"), dir_.file("out.ini")},
                          Case{"no INI", dir_.file("notes.txt"), dir_.file("out.ini")},
                          Case{"output folder", dir_.file("template.ini"), dir_.file("a-file") / "out.ini"}}) {
    const Published run = Publish(Arguments(bad.template_file, bad.output));
    EXPECT_NE(run.exit_code, 0) << bad.what;
    EXPECT_FALSE(run.err.empty()) << bad.what;
    EXPECT_FALSE(fs::exists(bad.output)) << bad.what;
  }
}

}  // namespace
}  // namespace rk5::test
