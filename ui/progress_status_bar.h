// The main window's status bar: an empty text panel and a program-drawn progress panel.
// The bar grows by a synchronous repaint of the progress panel alone, so that it advances
// while the user-interface thread is busy inside a long picture operation. For screen readers
// the panels are a label with the panel's text and a progress bar with its value, laid over
// what the status bar draws and drawing nothing themselves.
#pragma once

#include <QRect>
#include <QWidget>
#include <cstdint>

class QLabel;
class QProgressBar;

namespace glim {

// Right edge (exclusive) of the bar in a panel from left to right: L + (R - L) x percent div 100,
// computed in 64 bits so that a huge percentage cannot overflow; kept within 32 bits.
int32_t progressBarRight(int32_t left, int32_t right, int32_t percent);

class ProgressStatusBar : public QWidget {
  Q_OBJECT
 public:
  static constexpr int kHeight = 19;
  static constexpr int kTextPanelWidth = 250;
  static constexpr int kProgressPanelWidth = 50;  // nominal: the last panel reaches the right end
  static const QColor kBarColor;                  // navy

  explicit ProgressStatusBar(QWidget* parent = nullptr);

  // Sets the progress in percent and shows it at once: a rise extends the bar in place,
  // a fall repaints the whole status bar.
  void SetProStatus(int32_t value);
  int32_t Progress() const { return progress_; }
  // The progress panel's inner rectangle as last painted; empty before the first paint.
  QRect ProgressRect() const { return progressRect_; }
  // The inner rectangle the progress panel has at the current size.
  QRect progressPanelRect() const;
  // How many paints covered the whole status bar (a rise must not cause one).
  int fullPaintCount() const { return fullPaints_; }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void SBarPaintMore();

  QLabel* textPanel_;
  QProgressBar* progressValue_;

  int32_t progress_ = 0;
  QRect progressRect_;
  int fullPaints_ = 0;
};

}  // namespace glim
