// The "Info" box: the product picture, the maker's texts with this year's date, and a button
// that opens the maker's web site. Created for one showing and destroyed after it.
#pragma once

#include <QDialog>
#include <QFrame>
#include <QLabel>
#include <QPushButton>

namespace glim {

// The text with the first "XXXX" replaced by the year in decimal digits; later ones stay.
QString replaceFirstYearPlaceholder(QString text, int year);

class TAboutBox : public QDialog {
  Q_OBJECT
 public:
  explicit TAboutBox(QWidget* owner);

  QFrame* Panel1;
  QLabel* ProgramIcon;
  QLabel* ProductName;
  QLabel* Copyright;
  QLabel* Comments;
  QLabel* Label1;
  QLabel* Label2;
  QLabel* Label3;
  QPushButton* BitBtnXP1;
  QPushButton* BitBtn1;

  void BitBtnXP1Click();

 private:
  void FormCreate();
};

}  // namespace glim
