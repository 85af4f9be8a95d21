// Keyboard focus that shows in every style: a frame in the style's focus colour (the palette's
// highlight) around an item view that has the focus, and around a picture button that has it
// from the keyboard. Some styles draw a view's frame the same with and without the focus, and
// the focus rectangle of a picture button only faintly.
#pragma once

#include <QRect>

class QAbstractItemView;
class QPainter;
class QPalette;

namespace glim {

// Paints a frame `width` pixels wide along the inside of `rect` in the focus colour.
void paintFocusFrame(QPainter& painter, const QRect& rect, const QPalette& palette, int width);

// From now on `view` shows its focus by a frame over its own frame, repainted as the focus
// comes and goes; where it has rows, the style marks the current one.
void showFocusFrame(QAbstractItemView* view);

}  // namespace glim
