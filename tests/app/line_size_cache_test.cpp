// The album lists' delegate remembers line sizes; every size it gives must be the one the
// standard delegate measures, for any name, with or without a check box, and after the
// list's font changed.
#include <gtest/gtest.h>

#include <QListWidget>
#include <QStyledItemDelegate>
#include <memory>

#include "../ui/qt_test_app.h"
#include "line_size_cache.h"

namespace glim {
namespace {

// A list that hands out the option its layout gives the delegate.
class ListWithOption : public QListWidget {
 public:
  QStyleOptionViewItem option() const {
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    return option;
  }
};

class LineSizeCacheTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const QString names[] = {
        QStringLiteral("a.jpg"),
        QString(300, QLatin1Char('W')) + QStringLiteral(".jpg"),
        QStringLiteral("zwei\nZeilen.jpg"),
        QString::fromUtf8("Sonnenuntergang \xF0\x9F\x8C\x85.jpg"),
        QString::fromUtf8("\xD8\xB5\xD9\x88\xD8\xB1\xD8\xA9.png"),
        QString(),
        QStringLiteral("a.jpg"),  // the same name again, now with a check box
    };
    for (const QString& name : names) list.addItem(name);
    for (int line = 4; line < list.count(); ++line) {
      list.item(line)->setFlags(list.item(line)->flags() | Qt::ItemIsUserCheckable);
      list.item(line)->setCheckState(line % 2 ? Qt::Checked : Qt::Unchecked);
    }
    list.setItemDelegate(cache);
  }

  // Every line twice (measured, then remembered) against the standard delegate.
  void expectStandardSizes() {
    const QStyleOptionViewItem option = list.option();
    for (int round = 0; round < 2; ++round) {
      for (int line = 0; line < list.count(); ++line) {
        const QModelIndex index = list.model()->index(line, 0);
        EXPECT_EQ(cache->sizeHint(option, index), standard.sizeHint(option, index))
            << "line " << line << " round " << round;
      }
    }
  }

  testing::QtAppFirst app;
  ListWithOption list;
  LineSizeCache* cache = new LineSizeCache(std::make_shared<LineSizeCache::Sizes>(), &list);
  QStyledItemDelegate standard;
};

TEST_F(LineSizeCacheTest, SizesAreThoseOfTheStandardDelegate) {
  expectStandardSizes();
  EXPECT_NE(cache->sizeHint(list.option(), list.model()->index(0, 0)),
            cache->sizeHint(list.option(), list.model()->index(6, 0)))
      << "a check box makes the line wider";
}

TEST_F(LineSizeCacheTest, AnotherFontIsMeasuredAgain) {
  expectStandardSizes();
  QFont larger = list.font();
  larger.setPixelSize(30);
  list.setFont(larger);
  expectStandardSizes();
  list.setIconSize(QSize(40, 40));
  expectStandardSizes();
}

}  // namespace
}  // namespace glim
