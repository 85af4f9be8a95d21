// A main window answered by the scripted recorder, for the window's widget tests.
#pragma once

#include <QApplication>
#include <QListWidget>
#include <memory>

#include "../ui/qt_test_app.h"
#include "gtest/gtest.h"
#include "main_form.h"
#include "recording_dialogs.h"

namespace glim {

class MainFormTest : public ::testing::Test {
 protected:
  void SetUp() override { form = std::make_unique<TMainForm>(&dialogs); }

  // The file-name parts each list shows, line by line.
  static QStringList lines(const QListWidget* list) {
    QStringList result;
    for (int i = 0; i < list->count(); ++i) result << list->item(i)->text();
    return result;
  }

  testing::QtAppFirst app;
  testing::RecordingDialogs dialogs;
  std::unique_ptr<TMainForm> form;
};

}  // namespace glim
