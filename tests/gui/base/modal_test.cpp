#include <gtest/gtest.h>

#include <QApplication>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <QWindow>
#include <QtTest/QTest>
#include <functional>
#include <string>
#include <vector>

#include "gui/base/form_test_support.h"
#include "gui/base/helper_form.h"
#include "support/qt_printers.h"

namespace rk5 {
namespace {

using test::SampleForm;

// Runs action once the modal loop that is about to start is running.
void WhenModal(std::function<void()> action) { QTimer::singleShot(0, std::move(action)); }

const QPoint kCloseButtonCentre(298, 12);  // in a 311-pixel window

TEST(ShowModal, ReturnsWhenTheCloseButtonIsClicked) {
  SampleForm form;
  bool was_modal = false;
  WhenModal([&] {
    was_modal = QApplication::activeModalWidget() == &form && form.ShowingModal();
    QTest::mouseClick(form.windowHandle(), Qt::LeftButton, {}, kCloseButtonCentre);
  });
  form.ShowModal();
  EXPECT_TRUE(was_modal);
  EXPECT_FALSE(form.isVisible());
  EXPECT_FALSE(form.ShowingModal());
  EXPECT_EQ(form.close_queries, 1);
  EXPECT_EQ(form.windowModality(), Qt::NonModal);
}

TEST(ShowModal, ReturnsOnACloseRequestOnlyOnceItIsGranted) {
  SampleForm form;
  form.grant_close = false;
  WhenModal([&] {
    form.close();  // refused: the window stays
    QTimer::singleShot(0, [&] {
      EXPECT_TRUE(form.isVisible());
      form.grant_close = true;
      form.close();
    });
  });
  form.ShowModal();
  EXPECT_EQ(form.close_queries, 2);
  EXPECT_FALSE(form.isVisible());
}

TEST(ShowModal, ReturnsWhenHiddenOrFreed) {
  SampleForm hidden;
  WhenModal([&] { hidden.hide(); });
  hidden.ShowModal();
  EXPECT_FALSE(hidden.isVisible());

  QPointer<SampleForm> freed = new SampleForm;
  WhenModal([&] { delete freed.data(); });
  freed->ShowModal();
  EXPECT_TRUE(freed.isNull());
}

TEST(ShowModal, OtherWindowsTakeNoInputMeanwhile) {
  SampleForm other;
  auto* button = new QPushButton(QStringLiteral("Refresh"), &other);
  button->setGeometry(20, 60, 80, 24);
  int clicks = 0;
  QObject::connect(button, &QPushButton::clicked, [&] { ++clicks; });
  other.move(400, 400);
  other.show();

  SampleForm modal;
  WhenModal([&] {
    QTest::mouseClick(other.windowHandle(), Qt::LeftButton, {}, QPoint(50, 70));
    QTest::mousePress(other.windowHandle(), Qt::LeftButton, {}, QPoint(100, 10));
    EXPECT_FALSE(other.Dragging());
    QTest::mouseRelease(other.windowHandle(), Qt::LeftButton, {}, QPoint(100, 10));
    modal.close();
  });
  modal.ShowModal();
  EXPECT_EQ(clicks, 0);
  // The same click counts once the modal window is gone.
  QTest::mouseClick(other.windowHandle(), Qt::LeftButton, {}, QPoint(50, 70));
  EXPECT_EQ(clicks, 1);
}

TEST(ShowModal, SecondModalWindowStacksOnTheFirst) {
  SampleForm first;
  SampleForm second;
  std::vector<std::string> steps;
  WhenModal([&] {
    WhenModal([&] {
      EXPECT_EQ(QApplication::activeModalWidget(), &second);
      EXPECT_TRUE(first.isVisible());
      // The first window is blocked by the second: its close button does nothing.
      QTest::mouseClick(first.windowHandle(), Qt::LeftButton, {}, kCloseButtonCentre);
      EXPECT_TRUE(first.isVisible());
      second.close();
    });
    second.ShowModal();
    steps.push_back("second returned");
    EXPECT_EQ(QApplication::activeModalWidget(), &first);
    first.close();
  });
  first.ShowModal();
  steps.push_back("first returned");
  EXPECT_EQ(steps, (std::vector<std::string>{"second returned", "first returned"}));
  EXPECT_EQ(first.close_queries, 1);
}

}  // namespace
}  // namespace rk5
