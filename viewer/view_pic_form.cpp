#include "view_pic_form.h"

namespace glim {

TViewPicForm::TViewPicForm(QWidget* parent) : QDialog(parent) {}

}  // namespace glim
