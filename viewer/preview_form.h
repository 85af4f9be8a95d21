// The preview window: the current picture at its own size. It exists for the whole run and is
// shown modally from the sort and comments pages; its content comes with the preview work.
#pragma once

#include <QDialog>

namespace glim {

class TPreViewForm : public QDialog {
  Q_OBJECT
 public:
  explicit TPreViewForm(QWidget* parent = nullptr);
};

}  // namespace glim
