#include "spin_field.h"

#include <QRegularExpression>
#include <algorithm>

namespace glim {

SpinField::SpinField(int minimum, int maximum, int value, QWidget* parent) : QSpinBox(parent) {
  setRange(minimum, maximum);
  setValue(value);
  setCorrectionMode(QAbstractSpinBox::CorrectToNearestValue);
}

int SpinField::valueForText(const QString& text) const {
  bool ok = false;
  const qlonglong number = text.trimmed().toLongLong(&ok);
  if (!ok) return minimum();
  return static_cast<int>(std::clamp<qlonglong>(number, minimum(), maximum()));
}

QValidator::State SpinField::validate(QString& input, int&) const {
  static const QRegularExpression wholeNumber(QStringLiteral("^\\s*-?\\d{0,18}\\s*$"));
  if (!wholeNumber.match(input).hasMatch()) return QValidator::Invalid;
  bool ok = false;
  const qlonglong number = input.trimmed().toLongLong(&ok);
  if (!ok || number < minimum() || number > maximum()) return QValidator::Intermediate;
  return QValidator::Acceptable;
}

void SpinField::fixup(QString& input) const {
  input = QString::number(valueForText(input));
}

}  // namespace glim
