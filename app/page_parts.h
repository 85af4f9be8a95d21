// Pieces the workflow pages share: the coloured banner at the top of a page and the
// decorative panel at the left of the sort and create pages.
#pragma once

#include <QColor>
#include <QFrame>
#include <QString>

namespace glim {

inline const QColor kBannerColor(240, 202, 166);
inline const QColor kDecorColor(192, 220, 192);

// A raised panel 33 pixels high in the banner colour with one line of bold text at the left.
QFrame* makeBanner(const QString& text, QWidget* parent);

// A panel 209 pixels wide holding a picture and, on a small banner-coloured panel, a title in
// large maroon letters.
QFrame* makeDecorativePanel(const QString& picture, const QString& title, QWidget* parent);

// A page: the banner (unless `banner` is empty) above the given content.
QWidget* makePage(const QString& banner, QWidget* content);

}  // namespace glim
