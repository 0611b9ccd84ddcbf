#pragma once

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QLineEdit>
#include <QString>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "capture/fake_midi_input_service.h"
#include "display/output_list.h"
#include "shell/monitor_dlg.h"
#include "shell/output_list_view.h"

// Readable QString in test failures.
inline void PrintTo(const QString& text, std::ostream* out) {
  *out << '"' << text.toStdString() << '"';
}

// Helpers for the widget tests: a dialog on the fake service, and readers of what it shows.
namespace tessaly::test {

inline constexpr char kSuccess[] = "The specified command was carried out.";

// A status line as port control reports it: the 22-character label, then the result's text.
std::string StatusLine(std::string_view label, const char* text = kSuccess);

// The dialog as a user meets it: built (which opens `startPort`), shown, exposed. The fake's call
// log is cleared afterwards, so a test sees only the calls it causes.
std::unique_ptr<CMonitorDlg> OpenDialog(FakeMidiInputService& service, uint32_t startPort = 0);

// A fixture: the dialog opened on the fake service's ports, closed after the test.
class DialogTest : public ::testing::Test {
 protected:
  explicit DialogTest(std::vector<std::string> ports = {"Port A"}) : ports_(std::move(ports)) {}
  void SetUp() override {
    service.SetPorts(ports_);
    dialog = OpenDialog(service);
    ASSERT_NE(dialog, nullptr);
  }
  void TearDown() override {
    if (dialog != nullptr && dialog->isVisible()) dialog->reject();
  }

  FakeMidiInputService service;
  std::unique_ptr<CMonitorDlg> dialog;

 private:
  std::vector<std::string> ports_;
};

QAbstractButton* Button(CMonitorDlg& dialog, int id);
QString EditText(CMonitorDlg& dialog, int id);
// The rows the view shows, as it draws them.
std::vector<QString> ViewRows(CMonitorDlg& dialog, int listId);
std::vector<std::string> Lines(const OutputList& list);
// Bytes as Latin-1 text, the way the views and the clipboard see a list line.
QString Latin1(std::string_view bytes);

// Packed short messages (status, data1, data2).
constexpr uint32_t Short(uint32_t status, uint32_t data1, uint32_t data2) {
  return status | (data1 << 8) | (data2 << 16);
}

}  // namespace tessaly::test
