// The numeric fields of the create page: typed values come into range when the field is left,
// program values are clamped at once, and a text that is no number reads as the minimum.
#include "spin_field.h"

#include <QLineEdit>
#include <QTest>

#include "gtest/gtest.h"
#include "qt_test_app.h"

namespace glim {
namespace {

class SpinFieldTest : public ::testing::Test {
 protected:
  void SetUp() override {
    window.resize(200, 100);
    field = new SpinField(1, 1000, 90, &window);
    other = new QLineEdit(&window);
    other->move(0, 50);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  }

  // Types the text into the emptied field, then moves the focus away; returns the value.
  int typeAndLeave(const QString& text) {
    field->setFocus();
    QCoreApplication::processEvents();
    field->findChild<QLineEdit*>()->selectAll();
    QTest::keyClick(field, Qt::Key_Delete);
    QTest::keyClicks(field, text);
    other->setFocus();
    QCoreApplication::processEvents();
    return field->value();
  }

  testing::QtAppFirst app;
  QWidget window;
  SpinField* field = nullptr;
  QLineEdit* other = nullptr;
};

TEST_F(SpinFieldTest, TypedValuesComeIntoRangeWhenTheFieldIsLeft) {
  EXPECT_EQ(typeAndLeave("2000"), 1000);
  EXPECT_EQ(field->text(), "1000");
  EXPECT_EQ(typeAndLeave("0"), 1);
  EXPECT_EQ(typeAndLeave("-7"), 1);
  EXPECT_EQ(typeAndLeave("55"), 55);
  EXPECT_EQ(typeAndLeave(""), 1);
  EXPECT_EQ(typeAndLeave("-"), 1);
  EXPECT_EQ(typeAndLeave("99999999999999999"), 1000);
}

TEST_F(SpinFieldTest, LettersAreNotTaken) {
  EXPECT_EQ(typeAndLeave("4a2"), 42);
}

TEST_F(SpinFieldTest, ProgramValuesAreClampedAtOnce) {
  field->setValue(5000);
  EXPECT_EQ(field->value(), 1000);
  field->setValue(-3);
  EXPECT_EQ(field->value(), 1);
}

TEST(SpinFieldText, ValueForText) {
  testing::qtApp();
  SpinField field(0, 10, 3);
  EXPECT_EQ(field.valueForText("7"), 7);
  EXPECT_EQ(field.valueForText(" 12 "), 10);
  EXPECT_EQ(field.valueForText("-4"), 0);
  EXPECT_EQ(field.valueForText("seven"), 0);
  EXPECT_EQ(field.valueForText(""), 0);
}

}  // namespace
}  // namespace glim
