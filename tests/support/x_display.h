#pragma once
// A private X display for tests that watch a real program's windows: an Xvfb server on a
// free display number, stopped with the object, and what a test asks about the windows
// on it (through xdotool and xprop).
#include <QProcess>
#include <QProcessEnvironment>
#include <chrono>
#include <string>

namespace rk5::test {

class XDisplay {
 public:
  XDisplay();  // starts the server; Name() is empty when it could not
  ~XDisplay();
  XDisplay(const XDisplay&) = delete;
  XDisplay& operator=(const XDisplay&) = delete;

  const std::string& Name() const { return name_; }  // ":N", the value for DISPLAY

  // This process's environment for a program under test that shows its windows here: on
  // this display through xcb, and, under the leak checker, without the report of what the
  // system's D-Bus library keeps for the life of such a program.
  QProcessEnvironment ProgramEnvironment() const;

  // The first visible window of process pid whose whole title is title (any title when
  // empty), once there is one; empty when limit passes first (a hang guard).
  std::string WaitForWindow(long long pid, const std::string& title = {},
                            std::chrono::milliseconds limit = std::chrono::seconds(20)) const;
  struct Size {
    int width = 0, height = 0;
  };
  Size SizeOf(const std::string& window) const;
  // "_NET_WM_WINDOW_TYPE_DIALOG", "_NET_WM_WINDOW_TYPE_NORMAL", ...: the first type.
  std::string TypeOf(const std::string& window) const;
  // A click of the left button at x, y of the window.
  void Click(const std::string& window, int x, int y) const;

 private:
  QProcessEnvironment ToolEnvironment() const;  // for the X tools: this display
  std::string Run(const QStringList& command) const;

  QProcess server_;
  std::string name_;
};

}  // namespace rk5::test
