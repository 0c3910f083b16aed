// The start-up decision through the real executable, copied into a scratch program folder
// with its own registry file.
#include <QProcess>
#include <QProcessEnvironment>
#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "app/startup.h"
#include "support/temp_dir.h"

namespace rk5 {
namespace {

using test::TempDir;
using test::WriteFileBytes;

std::string Upper(std::string text) {
  for (char& c : text) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return text;
}

struct Outcome {
  int exit_code = -1;
  std::map<std::string, std::string> decided;  // the dry run's report
  std::string out, err;
};

class StartupProcess : public ::testing::Test {
 protected:
  void SetUp() override {
    program_ = dir_.path() / "Rk5" / "Helper";
    std::filesystem::create_directories(program_);
    std::filesystem::copy_file(RK5_HELPER_EXE, program_ / "rk5helper");
  }

  std::string ProgramFolder() const { return program_.string() + "/"; }
  std::string RegistryFile() const { return dir_.file("registry.ini").string(); }

  void RegisterPath(const std::string& path) {
    WriteFileBytes(RegistryFile(), "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Rk5Helper]\nPath=" + path + "\n");
  }

  Outcome Start(const QStringList& args, bool dry_run = true, std::string registry = {}) {
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("RK5HELPER_REGISTRY",
               QString::fromStdString(registry.empty() ? RegistryFile() : registry));
    if (dry_run) env.insert("RK5HELPER_DRY_RUN", "1");
    env.insert("QT_QPA_PLATFORM", "offscreen");
    p.setProcessEnvironment(env);
    p.start(QString::fromStdString((program_ / "rk5helper").string()), args);
    EXPECT_TRUE(p.waitForFinished(30000));
    Outcome run;
    run.exit_code = p.exitCode();
    run.out = p.readAllStandardOutput().toStdString();
    run.err = p.readAllStandardError().toStdString();
    std::size_t pos = 0;
    while (pos < run.out.size()) {
      std::size_t nl = run.out.find('\n', pos), eq = run.out.find('=', pos);
      if (nl == std::string::npos) nl = run.out.size();
      if (eq < nl) run.decided[run.out.substr(pos, eq - pos)] = run.out.substr(eq + 1, nl - eq - 1);
      pos = nl + 1;
    }
    return run;
  }

  TempDir dir_;
  std::filesystem::path program_;
};

TEST_F(StartupProcess, WithoutARegisteredFolderEveryRunInstalls) {
  for (const QStringList& args : {QStringList{}, QStringList{"/dl", "Tool"}, QStringList{"/run", "T"},
                                  QStringList{"/update"}, QStringList{"/installed"},
                                  QStringList{"/DL"}}) {
    Outcome run = Start(args);
    EXPECT_EQ(run.decided["RunMode"], "/install") << args.join(' ').toStdString();
    EXPECT_EQ(run.decided["Windows"], "TfrmAlert");
    EXPECT_EQ(run.decided["ShowMainWindowAtStart"], "0");
    EXPECT_EQ(run.decided["ProgramFolder"], ProgramFolder());
  }
  // Opening the key created it, still without a Path.
  EXPECT_EQ(test::ReadFileBytes(RegistryFile()), "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Rk5Helper]\r\n");
  // A registry that cannot be opened counts as no registered folder.
  WriteFileBytes(dir_.file("plainfile"), "x");
  EXPECT_EQ(Start({}, true, dir_.file("plainfile").string() + "/registry.ini").decided["RunMode"],
            "/install");
}

TEST_F(StartupProcess, TheRegisteredFolderInOtherLetterCaseLetsTheArgumentStand) {
  RegisterPath(Upper(ProgramFolder()));
  Outcome main_window = Start({});
  EXPECT_EQ(main_window.decided["RunMode"], "");
  EXPECT_EQ(main_window.decided["Windows"], "TMain,TfrmAbout");
  EXPECT_EQ(main_window.decided["ShowMainWindowAtStart"], "1");
  Outcome download = Start({"/dl", "HexEdit"});
  EXPECT_EQ(download.decided["RunMode"], "/dl");
  EXPECT_EQ(download.decided["Windows"], "TDownload");
  EXPECT_EQ(Start({"/run", "HexEdit"}).decided["Windows"], "TfrmAlert");
  EXPECT_EQ(Start({"/update"}).decided["ShowMainWindowAtStart"], "0");
  EXPECT_EQ(Start({"/installed"}).decided["ShowMainWindowAtStart"], "1");
  for (const char* no_mode : {"/DL", "/Run", "--help", "/dl/"}) {
    EXPECT_EQ(Start({no_mode}).decided["Windows"], "") << no_mode;
  }
}

TEST_F(StartupProcess, AnotherRegisteredFolderOnlyReportsAlreadyInstalled) {
  RegisterPath("/somewhere/else/");
  for (const QStringList& args : {QStringList{}, QStringList{"/dl", "Tool"},
                                  QStringList{"/run", "Tool"}, QStringList{"/update"},
                                  QStringList{"/install"}}) {
    Outcome run = Start(args);
    EXPECT_EQ(run.decided["RunMode"], "/installed") << args.join(' ').toStdString();
    EXPECT_EQ(run.decided["ShowMainWindowAtStart"], "1");
  }
  // Without its trailing separator the folder is another one.
  std::string folder = ProgramFolder();
  RegisterPath(folder.substr(0, folder.size() - 1));
  EXPECT_EQ(Start({}).decided["RunMode"], "/installed");
}

TEST_F(StartupProcess, OnlyAsciiLettersAreComparedWithoutCase) {
  std::filesystem::path odd = dir_.path() / "caf\xc3\xa9";  // UTF-8 bytes for e with acute
  std::filesystem::create_directories(odd);
  std::filesystem::copy_file(program_ / "rk5helper", odd / "rk5helper");
  program_ = odd;
  RegisterPath(dir_.folder() + "CAF\xc3\x89/");  // its upper case, outside ASCII
  EXPECT_EQ(Start({}).decided["RunMode"], "/installed");
  RegisterPath(Upper(dir_.folder()) + "CAF\xc3\xa9/");
  EXPECT_EQ(Start({}).decided["RunMode"], "");
}

TEST_F(StartupProcess, TheLeftCatalogueAnnouncesANewerBuildInEveryMode) {
  RegisterPath(ProgramFolder());
  auto catalogue = [this](const std::string& text) {
    WriteFileBytes(program_ / "rk5h.ini", text);
  };
  EXPECT_EQ(Start({}).decided["UpdateRequired"], "0");  // no file

  catalogue("[Rk5Helper]\r\nBuild=2\r\nURL=http://host/rk5helper\r\n");
  EXPECT_EQ(Start({}).decided["UpdateRequired"], "0");
  EXPECT_EQ(Start({}).decided["UpdateURL"], "");

  catalogue("[Tool]\nName=x\n[Rk5Helper]\nBuild=3\nURL=http://host/rk5helper\n");
  for (const QStringList& args : {QStringList{}, QStringList{"/dl", "Tool"}, QStringList{"/x"}}) {
    Outcome run = Start(args);
    EXPECT_EQ(run.decided["UpdateRequired"], "1");
    EXPECT_EQ(run.decided["UpdateURL"], "http://host/rk5helper");
  }
  catalogue("[rk5helper]\nBUILD=0x10\n");  // section and key in any letter case, no URL
  Outcome hex = Start({});
  EXPECT_EQ(hex.decided["UpdateRequired"], "1");
  EXPECT_EQ(hex.decided["UpdateURL"], "");
  catalogue("[Rk5Helper]\nBuild=three\nURL=http://host/x\n");
  EXPECT_EQ(Start({}).decided["UpdateRequired"], "0");
  catalogue(std::string("\0\xff\x01junk", 6));
  EXPECT_EQ(Start({}).decided["UpdateRequired"], "0");
  // With a publisher's key, a catalogue without its signature beside it announces nothing.
  catalogue("[Rk5Helper]\nBuild=3\nURL=http://host/rk5helper\n");
  WriteFileBytes(program_ / "Settings.ini", "[Server]\nPublicKey=RWTy1v6gqJkjtnA/AC2EQPS8OZTSFBmNY53Z2veTjBH2e8XL2IEc3us/\n");
  EXPECT_EQ(Start({}).decided["UpdateRequired"], "0");
}


TEST_F(StartupProcess, AnUnknownModeEndsSilentlyWithCodeZero) {
  RegisterPath(ProgramFolder());
  Outcome run = Start({"/Install"}, /*dry_run=*/false);
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err, "");
}

}  // namespace
}  // namespace rk5
