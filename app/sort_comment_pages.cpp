// TMainForm: the "Sort" page (order of the pictures) and the "Comments" page (a comment and
// its flag for each picture).
#include <QCheckBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "main_form.h"
#include "page_parts.h"

namespace glim {

namespace {
// A tall button with its glyph above or below the caption.
QPushButton* tallButton(const QString& caption, const QString& glyph, bool glyphAbove,
                        QWidget* parent) {
  auto* button = new QPushButton(parent);
  button->setFixedSize(145, 65);
  button->setAccessibleName(caption);
  auto* layout = new QVBoxLayout(button);
  layout->setContentsMargins(4, 6, 4, 6);
  auto* image = new QLabel(button);
  image->setPixmap(QIcon(glyph).pixmap(24, 24));
  auto* text = new QLabel(caption, button);
  for (QLabel* label : {image, text}) {
    label->setAlignment(Qt::AlignCenter);
    label->setAttribute(Qt::WA_TransparentForMouseEvents);
  }
  layout->addWidget(glyphAbove ? image : text);
  layout->addWidget(glyphAbove ? text : image);
  return button;
}
}  // namespace

QWidget* TMainForm::buildSortPage() {
  auto* content = new QWidget;
  auto* layout = new QHBoxLayout(content);
  layout->setContentsMargins(0, 0, 4, 0);
  layout->addWidget(makeDecorativePanel(QStringLiteral(":/art/sort_picture.svg"),
                                        QStringLiteral("Sort pictures..."), content));
  SortBox = new QListWidget(content);
  SortBox->setSelectionMode(QAbstractItemView::SingleSelection);
  layout->addWidget(SortBox, 1);
  auto* column = new QVBoxLayout;
  UpNow = tallButton(QStringLiteral("Move upward"), QStringLiteral(":/art/up.svg"), true, content);
  DownNow =
      tallButton(QStringLiteral("Move downward"), QStringLiteral(":/art/down.svg"), false, content);
  column->addWidget(UpNow);
  column->addWidget(DownNow);
  column->addStretch(1);
  layout->addLayout(column);
  return makePage(QStringLiteral("Sort - You can correct the order of the pictures"), content);
}

QWidget* TMainForm::buildCommentsPage() {
  auto* content = new QWidget;
  auto* layout = new QHBoxLayout(content);
  layout->setContentsMargins(4, 4, 4, 4);
  ImageBox = new QListWidget(content);
  ImageBox->setSelectionMode(QAbstractItemView::ExtendedSelection);
  layout->addWidget(ImageBox, 1);

  CommentGroup = new QGroupBox(QStringLiteral("Comment for picture"), content);
  CommentGroup->setFixedWidth(366);
  auto* group = new QVBoxLayout(CommentGroup);
  ShowComment = new QCheckBox(QStringLiteral("Show comment"), CommentGroup);
  ShowComment->setChecked(true);
  ComMemo = new QPlainTextEdit(CommentGroup);
  ComMemo->setLineWrapMode(QPlainTextEdit::NoWrap);
  ComMemo->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  ComMemo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  group->addWidget(ShowComment);
  group->addWidget(ComMemo, 1);
  layout->addWidget(CommentGroup);
  return makePage(QStringLiteral("Comment - select picture and write a comment"), content);
}

}  // namespace glim
