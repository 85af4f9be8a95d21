#include "focus_frame.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QPainter>
#include <QPalette>
#include <QPointer>
#include <QProxyStyle>
#include <algorithm>

namespace glim {
namespace {

// The application's style, with the frame of a focused item view painted over in the focus
// colour. A view's frame is painted on the view itself, around its viewport.
class FocusFrameStyle : public QProxyStyle {
 public:
  void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                   const QWidget* widget) const override {
    QProxyStyle::drawControl(element, option, painter, widget);
    const auto* view = qobject_cast<const QAbstractItemView*>(widget);
    if (element == CE_ShapedFrame && view != nullptr && view->hasFocus()) {
      paintFocusFrame(*painter, option->rect, option->palette, std::max(1, view->frameWidth()));
    }
  }
};

}  // namespace

void paintFocusFrame(QPainter& painter, const QRect& rect, const QPalette& palette, int width) {
  const QColor colour = palette.color(QPalette::Active, QPalette::Highlight);
  const QRect inner = rect.adjusted(width, width, -width, -width);
  painter.save();
  painter.setClipRegion(QRegion(rect).subtracted(QRegion(inner)));
  painter.fillRect(rect, colour);
  painter.restore();
}

void showFocusFrame(QAbstractItemView* view) {
  // One style for all views, living as long as the application; a widget does not own the
  // style it is given.
  static QPointer<FocusFrameStyle> style;
  if (style.isNull()) {
    style = new FocusFrameStyle;
    style->setParent(qApp);
  }
  view->setStyle(style);
}

}  // namespace glim
