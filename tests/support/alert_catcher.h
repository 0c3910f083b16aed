#pragma once
// Answers every message window that opens while it lives: records its text and presses
// OK, so code that shows a modal message can run inside a test.
#include <QString>
#include <QStringList>
#include <QTimer>

namespace rk5::test {

class AlertCatcher {
 public:
  AlertCatcher();
  const QStringList& Texts() const { return texts_; }
  void Clear() { texts_.clear(); }

 private:
  QTimer timer_;
  QStringList texts_;
};

}  // namespace rk5::test
