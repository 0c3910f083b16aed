#pragma once
// Waiting in tests without sleeping: the event loop runs until a condition holds; and one
// environment variable set for the life of an object.
#include <QByteArray>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTimer>
#include <QtGlobal>

#include <chrono>
#include <functional>
#include <optional>
#include <string>

namespace rk5::test {

// Dispatches events until `done` holds; false when `limit` passed first (a hang guard,
// not a timing check: the tick only makes sure the limit is noticed).
inline bool RunUntil(const std::function<bool()>& done,
                     std::chrono::milliseconds limit = std::chrono::seconds(20)) {
  QDeadlineTimer deadline(limit);
  QTimer tick;
  tick.start(50);
  while (!done()) {
    if (deadline.hasExpired()) return false;
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  }
  return true;
}

// Sets one environment variable for the life of the object.
class EnvOverride {
 public:
  EnvOverride(const char* name, std::optional<std::string> value) : name_(name) {
    if (qEnvironmentVariableIsSet(name)) old_ = qgetenv(name).toStdString();
    if (value) {
      qputenv(name, QByteArray::fromStdString(*value));
    } else {
      qunsetenv(name);
    }
  }
  ~EnvOverride() {
    if (old_) {
      qputenv(name_, QByteArray::fromStdString(*old_));
    } else {
      qunsetenv(name_);
    }
  }
  EnvOverride(const EnvOverride&) = delete;
  EnvOverride& operator=(const EnvOverride&) = delete;

 private:
  const char* name_;
  std::optional<std::string> old_;
};

}  // namespace rk5::test
