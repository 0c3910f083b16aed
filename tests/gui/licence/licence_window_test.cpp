// The licence window against the loopback server: what it asks for, what it shows, and
// what each way of leaving it answers.
#include "gui/licence/licence_window.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QFontInfo>
#include <QGuiApplication>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QTextBlock>
#include <QTimer>
#include <functional>
#include <string>
#include <vector>

#include "net/fetch_fixture.h"
#include "net/http_fetch.h"
#include "net/http_fetch_thread.h"
#include "support/qt_printers.h"

namespace rk5::test {
namespace {

const QString kWaiting = QStringLiteral("Downloading licence.......");
const QString kFailed = QStringLiteral("Can't connect to server!");

QString Latin1(const std::string& text) {
  return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

std::vector<QString> Lines(const QPlainTextEdit& edit) {
  std::vector<QString> lines;
  for (QTextBlock block = edit.document()->begin(); block.isValid(); block = block.next()) {
    lines.push_back(block.text());
  }
  return lines;
}

class LicenceTest : public FetchTest {
 protected:
  // ShowLicense(name, url) with `inside` run on the shown window in its modal loop. A
  // window `inside` left open is declined, so that no test hangs.
  //
  // `inside` runs from a timer, not from a posted call: a nested wait inside a posted call
  // does not see events that were already queued behind that call (the fetch's completion,
  // when the text comes before the modal loop has started), only later ones.
  bool Show(const std::string& name, const std::string& url,
            const std::function<void(TLic&)>& inside) {
    bool ran = false;
    QTimer::singleShot(1, [&] {
      auto* lic = qobject_cast<TLic*>(QApplication::activeModalWidget());
      if (lic == nullptr) {
        ADD_FAILURE() << "no licence window is shown";
        for (QWidget* w : QApplication::topLevelWidgets()) w->hide();
        return;
      }
      ran = true;
      inside(*lic);
      if (lic->isVisible()) {
        ADD_FAILURE() << "the licence window was left open";
        lic->btnRefresh()->click();
      }
    });
    const bool accepted = ShowLicense(name, url);
    EXPECT_TRUE(ran);
    return accepted;
  }

  // A reply that holds its body after `at` bytes until the test opens `gate`.
  static HttpReply Held(std::string body, std::size_t at, std::string gate) {
    HttpReply reply = Ok(std::move(body));
    reply.fault = Fault::kGateAt;
    reply.fault_at = at;
    reply.gate = std::move(gate);
    return reply;
  }
};

TEST_F(LicenceTest, DesignAndFonts) {
  TLic lic;
  EXPECT_EQ(lic.size(), QSize(520, 415));
  EXPECT_DOUBLE_EQ(lic.windowOpacity(), 1.0);
  EXPECT_EQ(lic.text()->geometry(), QRect(16, 32, 491, 342));
  EXPECT_EQ(lic.btnRefresh()->geometry(), QRect(378, 380, 57, 21));
  EXPECT_EQ(lic.btnDl()->geometry(), QRect(442, 380, 65, 21));
  EXPECT_EQ(lic.btnRefresh()->text(), QStringLiteral("Delince"));
  EXPECT_EQ(lic.btnDl()->text(), QStringLiteral("Accept"));
  EXPECT_TRUE(lic.text()->isReadOnly());
  EXPECT_EQ(lic.text()->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
  EXPECT_EQ(lic.text()->palette().color(QPalette::Base), QColor(0xb9, 0xb9, 0xb9));
  EXPECT_EQ(lic.text()->palette().color(QPalette::Text), QColor(Qt::black));
  // The designed fonts resolve to metric-compatible ones the set-up installs.
  const QFontInfo text_font(lic.text()->font());
  EXPECT_EQ(text_font.family(), QStringLiteral("Liberation Mono"));
  EXPECT_EQ(text_font.pixelSize(), 12);
  EXPECT_EQ(QFontInfo(lic.btnDl()->font()).family(), QStringLiteral("DejaVu Sans"));
  // The text box has the focus first; the tab key goes on to Delince.
  EXPECT_EQ(lic.focusWidget(), lic.text());
  QWidget* next = lic.text()->nextInFocusChain();
  while (next != nullptr && next != &lic && qobject_cast<QPushButton*>(next) == nullptr) {
    next = next->nextInFocusChain();
  }
  EXPECT_EQ(next, lic.btnRefresh());
}

TEST_F(LicenceTest, FetchesTheAddressInLowerCaseAndShowsTheTextByteForByte) {
  std::string body = "Licence of Tool\r\nBytes \x80\xa9\xff and a NUL ";
  body.push_back('\0');
  body += " inside\r\n\r\nLast line";
  server_.Route("/licences/tool-a/readme.txt", Held(body, 10, "text"));
  std::vector<QString> lines;
  QPoint shown_at;
  const bool accepted =
      Show("Outil \xe9t\xe9", "http://Example.TEST/Licences/Tool-A/ReadMe.TXT?Lang=EN&X=%4A",
           [&](TLic& lic) {
             shown_at = lic.pos();
             EXPECT_EQ(lic.windowTitle(), QStringLiteral("License for Outil \u00e9t\u00e9"));
             EXPECT_EQ(lic.text()->toPlainText(), kWaiting);
             ASSERT_TRUE(server_.WaitAtGate("text"));
             EXPECT_FALSE(lic.btnDl()->isEnabled());
             lic.btnDl()->click();  // not yet: nothing happens
             EXPECT_TRUE(lic.isVisible());
             server_.OpenGate("text");
             ASSERT_TRUE(RunUntil([&] { return lic.btnDl()->isEnabled(); }));
             lines = Lines(*lic.text());
             lic.grab();  // paints the NUL and the high bytes without trouble
             lic.btnDl()->click();
           });
  EXPECT_TRUE(accepted);
  EXPECT_EQ(OnlyRequest().target, "http://example.test/licences/tool-a/readme.txt?lang=en&x=%4a");
  // CR LF ends a line once; every other byte is the character of that code.
  std::string second("Bytes \x80\xa9\xff and a NUL ");
  second.push_back('\0');
  second += " inside";
  EXPECT_EQ(lines, (std::vector<QString>{QStringLiteral("Licence of Tool"), Latin1(second),
                                         QString(), QStringLiteral("Last line")}));
  const QRect desktop = QGuiApplication::primaryScreen()->virtualGeometry();
  EXPECT_EQ(shown_at, QPoint(desktop.left() + (desktop.width() - 520) / 2,
                             desktop.top() + (desktop.height() - 415) / 2));
}

TEST_F(LicenceTest, OnlyAcceptAnswersTrue) {
  server_.Route("/held", Held("never all of it", 3, "never"));
  server_.Route("/here", Ok("The licence."));
  for (bool arrived : {false, true}) {
    for (bool by_close_button : {false, true}) {
      const bool accepted =
          Show("Tool", std::string(kHost) + (arrived ? "/here" : "/held"), [&](TLic& lic) {
            if (arrived) {
              ASSERT_TRUE(RunUntil([&] { return lic.btnDl()->isEnabled(); }))
                  << lic.text()->toPlainText().toStdString();
            } else {
              EXPECT_EQ(lic.text()->toPlainText(), kWaiting);
            }
            by_close_button ? lic.CloseButton()->click() : lic.btnRefresh()->click();
          });
      EXPECT_FALSE(accepted) << "arrived " << arrived << " close button " << by_close_button;
    }
  }
  EXPECT_TRUE(Show("Tool", std::string(kHost) + "/here", [&](TLic& lic) {
    ASSERT_TRUE(RunUntil([&] { return lic.btnDl()->isEnabled(); }));
    lic.btnDl()->click();
  }));
}

TEST_F(LicenceTest, ATextThatCannotBeFetchedSaysSoAndCannotBeAccepted) {
  HttpReply hang_up;
  hang_up.fault = Fault::kHangUp;
  server_.Route("/hang-up", hang_up);
  server_.Route("/empty", Ok(""));
  server_.Route("/huge", Ok(std::string(kMaxLicenceSize + 1, 'x')));
  server_.Route("/huge-unannounced", WithoutLength(std::string(kMaxLicenceSize + 1, 'x')));
  const std::string host(kHost);
  const std::vector<std::string> urls = {
      host + "/hang-up", host + "/empty",           "", "http://", "http://:80/x",
      host + "/huge",    host + "/huge-unannounced"};
  for (const std::string& url : urls) {
    QString shown;
    bool could_accept = true;
    const bool accepted = Show("Tool", url, [&](TLic& lic) {
      ASSERT_TRUE(RunUntil([&] { return lic.text()->toPlainText() != kWaiting; }));
      shown = lic.text()->toPlainText();
      could_accept = lic.btnDl()->isEnabled();
      lic.CloseButton()->click();
    });
    const std::string shown_url = url.substr(0, 40);
    EXPECT_EQ(shown, kFailed) << shown_url;
    EXPECT_FALSE(could_accept) << shown_url;
    EXPECT_FALSE(accepted) << shown_url;
  }
}

TEST_F(LicenceTest, LongAndControlByteAddressesAreAskedForWholeAndSafely) {
  // A 404 page with a body counts as the text, as every reply with a body does.
  const std::string long_path = "/" + std::string(100000, 'a');
  server_.Route(long_path, Ok("long way round"));
  const std::string host(kHost);
  for (const std::string& url :
       {host + "/" + std::string(100000, 'A'), host + "/a\r\nHost: elsewhere\x01"}) {
    QString shown;
    EXPECT_TRUE(Show("Tool", url, [&](TLic& lic) {
      ASSERT_TRUE(RunUntil([&] { return lic.btnDl()->isEnabled(); }));
      shown = lic.text()->toPlainText();
      lic.btnDl()->click();
    }));
    EXPECT_EQ(shown,
              url.size() > 1000 ? QStringLiteral("long way round") : QStringLiteral("Not Found"));
  }
  const auto requests = server_.Requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0].Path(), long_path);
  // The control bytes travel escaped inside the request line; no header is added.
  EXPECT_EQ(requests[1].target, "http://example.test/a%0D%0Ahost:%20elsewhere%01");
  EXPECT_EQ(requests[1].HeaderCount("Host"), 1u);
}

TEST_F(LicenceTest, ClosingWhileTheTextComesDropsTheFetch) {
  server_.Route("/slow", Held(std::string(5000, 's'), 100, "slow"));
  QPointer<QObject> worker;
  EXPECT_FALSE(Show("Tool", std::string(kHost) + "/slow", [&](TLic& lic) {
    ASSERT_TRUE(server_.WaitAtGate("slow"));
    worker = lic.HttpFetch().Worker();
    ASSERT_FALSE(worker.isNull());
    lic.btnRefresh()->click();
  }));
  EXPECT_TRUE(worker.isNull());  // stopped and freed with the window
  // The window is gone; the rest of the text may still come, and its report must find
  // nobody (a report reaching the freed window would be caught by the sanitizers).
  server_.OpenGate("slow");
  ASSERT_TRUE(RunUntil([&] { return worker.isNull(); }));
  for (QWidget* w : QApplication::topLevelWidgets()) {
    EXPECT_EQ(qobject_cast<TLic*>(w), nullptr);
  }
}

}  // namespace
}  // namespace rk5::test
