// Picture buttons: which picture shows while the mouse is pressed, moved and released, and
// that the action runs on a click, before the release resets the pictures.
#include "picture_button.h"

#include <QAccessible>
#include <QPainter>
#include <QTest>
#include <vector>

#include "gtest/gtest.h"
#include "qt_test_app.h"

namespace glim {
namespace {

QPixmap filled(QColor color) {
  QPixmap pixmap(101, 30);
  pixmap.fill(color);
  return pixmap;
}

class PictureButtonTest : public ::testing::Test {
 protected:
  void SetUp() override {
    window.resize(400, 200);
    button = new PictureButton(filled(Qt::green), filled(Qt::red), false, &window);
    button->move(100, 80);
    QObject::connect(button, &PictureButton::clicked, [this] {
      // What the action sees: the release has not reset anything yet.
      flagAtClick.push_back(button->pressedFlag());
      button->resetImages();
    });
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  }

  // True while the pressed picture is the one on show.
  bool showsPressed() const {
    EXPECT_NE(button->normalShown(), button->pressedShown());
    return button->pressedShown();
  }
  // Mouse events go to the button as the press's implicit grab delivers them: in its own
  // coordinates, also when the pointer is off it.
  void press(Qt::MouseButton b, int x, int y) { QTest::mousePress(button, b, {}, QPoint(x, y)); }
  void move(int x, int y) { QTest::mouseMove(button, QPoint(x, y)); }
  void release(Qt::MouseButton b, int x, int y) {
    QTest::mouseRelease(button, b, {}, QPoint(x, y));
  }
  QPoint at(int x, int y) const { return button->mapTo(&window, QPoint(x, y)); }

  testing::QtAppFirst app;  // before any widget member
  QWidget window;
  PictureButton* button = nullptr;
  std::vector<bool> flagAtClick;
};

TEST_F(PictureButtonTest, StartsWithTheNormalPictureAndNoFlag) {
  EXPECT_FALSE(showsPressed());
  EXPECT_FALSE(button->pressedFlag());
  EXPECT_EQ(button->size(), QSize(101, 30));
  EXPECT_EQ(button->cursor().shape(), Qt::PointingHandCursor);
}

TEST_F(PictureButtonTest, PressMoveOffAndReleaseOutsideRunsNothing) {
  press(Qt::LeftButton, 50, 15);
  EXPECT_TRUE(showsPressed());
  EXPECT_TRUE(button->pressedFlag());
  move(120, 15);  // off the right edge
  EXPECT_FALSE(showsPressed());
  EXPECT_TRUE(button->pressedFlag());
  move(50, -5);  // above
  EXPECT_FALSE(showsPressed());
  release(Qt::LeftButton, 120, 15);
  EXPECT_FALSE(showsPressed());
  EXPECT_FALSE(button->pressedFlag());
  EXPECT_TRUE(flagAtClick.empty());
}

TEST_F(PictureButtonTest, PressMoveOffBackOnAndReleaseRunsTheActionBeforeTheRelease) {
  press(Qt::LeftButton, 10, 10);
  move(101, 10);  // x equal to the width is off
  EXPECT_FALSE(showsPressed());
  move(100, 29);  // the last column and row are on
  EXPECT_TRUE(showsPressed());
  release(Qt::LeftButton, 100, 29);
  ASSERT_EQ(flagAtClick.size(), 1u);
  EXPECT_TRUE(flagAtClick[0]) << "the click must come before the mouse-up handler";
  EXPECT_FALSE(showsPressed());
  EXPECT_FALSE(button->pressedFlag());
}

TEST_F(PictureButtonTest, MovingWithoutPressingChangesNothing) {
  move(50, 15);
  move(150, 15);
  EXPECT_FALSE(showsPressed());
  EXPECT_FALSE(button->pressedFlag());
}

TEST_F(PictureButtonTest, OtherButtonsShowThePressedPictureButDoNotClick) {
  press(Qt::RightButton, 50, 15);
  EXPECT_TRUE(showsPressed());
  EXPECT_TRUE(button->pressedFlag());
  release(Qt::RightButton, 50, 15);
  EXPECT_FALSE(showsPressed());
  EXPECT_FALSE(button->pressedFlag());
  EXPECT_TRUE(flagAtClick.empty());
}

TEST_F(PictureButtonTest, ShowsThePicturesItWasGiven) {
  const QImage normal = window.grab(QRect(at(0, 0), QSize(101, 30))).toImage();
  EXPECT_EQ(normal.pixelColor(50, 15), QColor(Qt::green));
  press(Qt::LeftButton, 50, 15);
  const QImage pressed = window.grab(QRect(at(0, 0), QSize(101, 30))).toImage();
  EXPECT_EQ(pressed.pixelColor(50, 15), QColor(Qt::red));
  release(Qt::LeftButton, 50, 15);
}

// Space and Enter click; a screen reader's press returns before the action runs.
TEST_F(PictureButtonTest, KeysAndAScreenReadersPressClick) {
  button->setFocus();
  for (Qt::Key key : {Qt::Key_Space, Qt::Key_Return, Qt::Key_Enter}) QTest::keyClick(button, key);
  EXPECT_EQ(flagAtClick.size(), 3u);
  QAccessible::queryAccessibleInterface(button)->actionInterface()->doAction(
      QAccessibleActionInterface::pressAction());
  EXPECT_EQ(flagAtClick.size(), 3u);
  QTRY_COMPARE(flagAtClick.size(), 4u);
}

TEST(PictureButtonStart, PressedPictureMayStartVisibleBeneathTheNormalOne) {
  testing::qtApp();
  QWidget window;
  PictureButton button(filled(Qt::green), filled(Qt::red), true, &window);
  EXPECT_TRUE(button.pressedShown());
  EXPECT_TRUE(button.normalShown());
  window.show();
  EXPECT_EQ(window.grab(QRect(0, 0, 101, 30)).toImage().pixelColor(50, 15), QColor(Qt::green));
}

}  // namespace
}  // namespace glim
