// The album lists' item delegate: draws and sizes lines as the standard one does, but
// remembers each line's size, so that a list of 10,000 lines that is laid out again after a
// move, a delete or a check mark lays out no text but that of new lines.
#pragma once

#include <QFont>
#include <QHash>
#include <QSize>
#include <QStyledItemDelegate>
#include <memory>

class QStyle;

namespace glim {

class LineSizeCache : public QStyledItemDelegate {
 public:
  // The sizes, shared by the lists of one window: their lines have the same texts.
  struct Sizes {
    QFont font;
    QSize decorationSize;
    const QStyle* style = nullptr;
    QHash<QString, QSize> plain;
    QHash<QString, QSize> checkable;
  };

  LineSizeCache(std::shared_ptr<Sizes> sizes, QObject* parent)
      : QStyledItemDelegate(parent), sizes_(std::move(sizes)) {}

  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

 private:
  std::shared_ptr<Sizes> sizes_;
};

}  // namespace glim
