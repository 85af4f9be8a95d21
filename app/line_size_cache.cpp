#include "line_size_cache.h"

#include <QApplication>
#include <QStyle>
#include <QWidget>

namespace glim {

QSize LineSizeCache::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const {
  // Only a line of text with or without a check box is remembered; anything else that could
  // change its size (wrapping, an icon, a font or size of its own) is measured each time.
  if ((option.features & QStyleOptionViewItem::WrapText) ||
      index.data(Qt::SizeHintRole).isValid() || index.data(Qt::DecorationRole).isValid() ||
      index.data(Qt::FontRole).isValid()) {
    return QStyledItemDelegate::sizeHint(option, index);
  }
  const QStyle* style = option.widget ? option.widget->style() : QApplication::style();
  Sizes& sizes = *sizes_;
  if (style != sizes.style || option.font != sizes.font ||
      option.decorationSize != sizes.decorationSize) {
    sizes = Sizes{option.font, option.decorationSize, style, {}, {}};
  }
  QHash<QString, QSize>& known =
      index.data(Qt::CheckStateRole).isValid() ? sizes.checkable : sizes.plain;
  const QString text = index.data(Qt::DisplayRole).toString();
  if (const auto found = known.constFind(text); found != known.constEnd()) return *found;
  // Names of albums opened before are not kept for ever.
  if (known.size() > 4 * index.model()->rowCount() + 1024) known.clear();
  const QSize size = QStyledItemDelegate::sizeHint(option, index);
  known.insert(text, size);
  return size;
}

}  // namespace glim
