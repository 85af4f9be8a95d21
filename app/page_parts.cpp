#include "page_parts.h"

#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QVBoxLayout>

namespace glim {

namespace {
void fillWith(QWidget* widget, const QColor& color) {
  widget->setAutoFillBackground(true);
  QPalette palette = widget->palette();
  palette.setColor(QPalette::Window, color);
  widget->setPalette(palette);
}
}  // namespace

QFrame* makeBanner(const QString& text, QWidget* parent) {
  auto* banner = new QFrame(parent);
  banner->setFrameStyle(QFrame::Panel | QFrame::Raised);
  banner->setFixedHeight(33);
  fillWith(banner, kBannerColor);
  auto* label = new QLabel(text, banner);
  label->setObjectName(QStringLiteral("bannerText"));
  label->setTextFormat(Qt::PlainText);
  QFont bold = label->font();
  bold.setBold(true);
  label->setFont(bold);
  auto* layout = new QHBoxLayout(banner);
  layout->setContentsMargins(8, 0, 8, 0);
  layout->addWidget(label, 1, Qt::AlignLeft | Qt::AlignVCenter);
  return banner;
}

QFrame* makeDecorativePanel(const QString& picture, const QString& title, QWidget* parent) {
  auto* panel = new QFrame(parent);
  panel->setFixedWidth(209);
  panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  fillWith(panel, kDecorColor);
  auto* layout = new QVBoxLayout(panel);
  layout->setContentsMargins(6, 6, 6, 6);

  auto* titlePanel = new QFrame(panel);
  titlePanel->setFrameStyle(QFrame::Panel | QFrame::Raised);
  fillWith(titlePanel, kBannerColor);
  auto* titleLabel = new QLabel(title, titlePanel);
  titleLabel->setWordWrap(true);
  QFont heavy(QStringLiteral("Arial Black"));
  heavy.setPixelSize(19);
  heavy.setWeight(QFont::Black);
  heavy.setStretch(QFont::Condensed);  // the long product name fits the narrow panel
  titleLabel->setFont(heavy);
  QPalette maroon = titleLabel->palette();
  maroon.setColor(QPalette::WindowText, QColor(128, 0, 0));
  titleLabel->setPalette(maroon);
  auto* titleLayout = new QVBoxLayout(titlePanel);
  titleLayout->setContentsMargins(6, 4, 6, 4);
  titleLayout->addWidget(titleLabel);
  layout->addWidget(titlePanel);

  auto* image = new QLabel(panel);
  image->setPixmap(QIcon(picture).pixmap(180, 180));
  image->setAlignment(Qt::AlignCenter);
  layout->addWidget(image, 1);
  return panel;
}

QWidget* makePage(const QString& banner, QWidget* content) {
  auto* page = new QWidget;
  auto* layout = new QVBoxLayout(page);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  if (!banner.isEmpty()) layout->addWidget(makeBanner(banner, page));
  layout->addWidget(content, 1);
  return page;
}

}  // namespace glim
