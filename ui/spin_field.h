// A numeric spin field that holds whole numbers inside its range. A value set by the program is
// clamped at once; a number typed beyond a bound is let through while typing and brought to the
// nearest bound when the field is left; a text that is no number there reads as the minimum.
#pragma once

#include <QSpinBox>

namespace glim {

class SpinField : public QSpinBox {
  Q_OBJECT
 public:
  SpinField(int minimum, int maximum, int value, QWidget* parent = nullptr);

  // The value the text stands for: clamped when a number, the minimum otherwise.
  int valueForText(const QString& text) const;

 protected:
  QValidator::State validate(QString& input, int& pos) const override;
  void fixup(QString& input) const override;
};

}  // namespace glim
