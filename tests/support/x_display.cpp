#include "support/x_display.h"

#include <QProcessEnvironment>
#include <QRegularExpression>
#include <thread>

namespace rk5::test {

XDisplay::XDisplay() {
  // -displayfd 1: the server picks a free number and writes it to its standard output.
  // -noreset: otherwise the server starts over when its last client goes, and a copy that
  // connects meanwhile (the next start after a killed one) is turned away.
  server_.start("Xvfb", {"-displayfd", "1", "-screen", "0", "1024x768x24", "-nolisten", "tcp", "-noreset"});
  if (!server_.waitForStarted(10000)) return;
  QByteArray number;
  while (!number.contains('\n') && server_.waitForReadyRead(10000)) number += server_.readAll();
  if (number.trimmed().isEmpty()) return;
  name_ = ":" + number.trimmed().toStdString();
}

XDisplay::~XDisplay() {
  server_.terminate();
  if (!server_.waitForFinished(5000)) server_.kill();
  server_.waitForFinished(5000);
}

QProcessEnvironment XDisplay::ToolEnvironment() const {
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("DISPLAY", QString::fromStdString(name_));
  return env;
}

QProcessEnvironment XDisplay::ProgramEnvironment() const {
  QProcessEnvironment env = ToolEnvironment();
  env.insert("QT_QPA_PLATFORM", "xcb");
  env.insert("LSAN_OPTIONS", "suppressions=" RK5_TEST_SOURCE_DIR "/support/lsan_display.supp");
  return env;
}

std::string XDisplay::Run(const QStringList& command) const {
  QProcess tool;
  tool.setProcessEnvironment(ToolEnvironment());
  tool.start(command.front(), command.mid(1));
  if (!tool.waitForFinished(30000)) {
    tool.kill();
    tool.waitForFinished();
  }
  return tool.readAllStandardOutput().toStdString();
}

std::string XDisplay::WaitForWindow(long long pid, const std::string& title,
                                    std::chrono::milliseconds limit) const {
  QStringList search = {"xdotool", "search", "--all", "--onlyvisible", "--pid", QString::number(pid)};
  if (!title.empty()) {
    search << "--name" << "^" + QRegularExpression::escape(QString::fromStdString(title)) + "$";
  }
  // Asked again until it answers: the search stops with an error at the first window that
  // goes while it looks (a killed copy's, say), and finds nothing before the window shows.
  const auto deadline = std::chrono::steady_clock::now() + limit;
  do {
    const std::string found = Run(search);
    if (!found.empty()) return found.substr(0, found.find('\n'));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  } while (std::chrono::steady_clock::now() < deadline);
  return {};
}

XDisplay::Size XDisplay::SizeOf(const std::string& window) const {
  // "WIDTH=256" and "HEIGHT=111" lines.
  const QString shell = QString::fromStdString(
      Run({"xdotool", "getwindowgeometry", "--shell", QString::fromStdString(window)}));
  Size size;
  for (const QString& line : shell.split('\n')) {
    if (line.startsWith("WIDTH=")) size.width = line.mid(6).toInt();
    if (line.startsWith("HEIGHT=")) size.height = line.mid(7).toInt();
  }
  return size;
}

std::string XDisplay::TypeOf(const std::string& window) const {
  // "_NET_WM_WINDOW_TYPE(ATOM) = _NET_WM_WINDOW_TYPE_DIALOG, ..."
  const QString line = QString::fromStdString(
      Run({"xprop", "-id", QString::fromStdString(window), "_NET_WM_WINDOW_TYPE"}));
  const QRegularExpressionMatch match =
      QRegularExpression("(_NET_WM_WINDOW_TYPE_[A-Z_]+)").match(line);
  return match.hasMatch() ? match.captured(1).toStdString() : std::string();
}

void XDisplay::Click(const std::string& window, int x, int y) const {
  // On top first: a copy that has just ended may keep its window above until the
  // server has seen it go.
  const QString id = QString::fromStdString(window);
  Run({"xdotool", "windowraise", id, "mousemove", "--window", id, QString::number(x), QString::number(y),
       "click", "1"});
}

}  // namespace rk5::test
