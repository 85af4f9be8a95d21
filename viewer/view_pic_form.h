// The picture viewer window: the current picture zoomed and panned. It exists for the whole
// run; its content comes with the viewer work.
#pragma once

#include <QDialog>

namespace glim {

class TViewPicForm : public QDialog {
  Q_OBJECT
 public:
  explicit TViewPicForm(QWidget* parent = nullptr);
};

}  // namespace glim
