// Where a resizable window opens: at the size its layout asks for, shrunk to fit the
// available area of its screen at any scale (a 638 x 512 window on a 1600 x 1000 screen at
// scale 2 has 800 x 500 to fit in), and centred on that area.
#pragma once

#include <QSize>

class QWidget;

namespace glim {

// `wanted` shrunk so that it and the window frame (`frame`: the frame's extra width and
// height) fit `available`; never below 1 x 1.
QSize sizeWithin(QSize wanted, QSize available, QSize frame);

// Resizes `window` to `wanted` fitted to its screen, lets its layout go below its own
// minimum where it must, and centres it on the screen's available area.
void openWithinScreen(QWidget& window, QSize wanted);

}  // namespace glim
