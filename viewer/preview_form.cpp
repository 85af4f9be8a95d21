#include "preview_form.h"

namespace glim {

TPreViewForm::TPreViewForm(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("View picture"));
  resize(560, 460);
}

}  // namespace glim
