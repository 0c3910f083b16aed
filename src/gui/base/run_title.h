#pragma once
// The run's title: the program's name on every window's task-bar button and the title of
// the platform's message boxes. The run owns one and hands it to its windows; the download
// window changes it while it works, and every window follows.
#include <QObject>
#include <QString>

namespace rk5 {

// The title a run starts with.
inline constexpr const char* kApplicationTitle = "Rk5 Helper";

class RunTitle : public QObject {
  Q_OBJECT

 public:
  explicit RunTitle(QString text = QString::fromLatin1(kApplicationTitle))
      : text_(std::move(text)) {}

  const QString& Text() const { return text_; }
  void SetText(const QString& text) {
    if (text == text_) return;
    text_ = text;
    Q_EMIT Changed(text_);
  }

 Q_SIGNALS:
  void Changed(const QString& text);

 private:
  QString text_;
};

// The text of title, the program's name when there is none.
inline QString TextOf(const RunTitle* title) {
  return title != nullptr ? title->Text() : QString::fromLatin1(kApplicationTitle);
}

}  // namespace rk5
