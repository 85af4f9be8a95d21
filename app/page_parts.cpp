#include "page_parts.h"

#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QPainter>
#include <QSpacerItem>
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

namespace {
// The panel paints its picture itself: the picture is decoration and no control of its own,
// so a screen reader passes over it.
class DecorativePanel : public QFrame {
 public:
  DecorativePanel(const QString& picture, QWidget* parent)
      : QFrame(parent), picture_(QIcon(picture).pixmap(180, 180)) {}
  QSpacerItem* pictureSpace() {
    const QSize size = picture_.deviceIndependentSize().toSize();
    space_ = new QSpacerItem(size.width(), size.height(), QSizePolicy::Minimum,
                             QSizePolicy::MinimumExpanding);
    return space_;
  }

 protected:
  void paintEvent(QPaintEvent* event) override {
    QFrame::paintEvent(event);
    if (space_ == nullptr) return;
    QRect place(QPoint(), picture_.deviceIndependentSize().toSize());
    place.moveCenter(space_->geometry().center());
    QPainter(this).drawPixmap(place.topLeft(), picture_);
  }

 private:
  QPixmap picture_;
  QSpacerItem* space_ = nullptr;  // owned by the layout
};
}  // namespace

QFrame* makeDecorativePanel(const QString& picture, const QString& title, QWidget* parent) {
  auto* panel = new DecorativePanel(picture, parent);
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
  layout->addSpacerItem(panel->pictureSpace());
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
