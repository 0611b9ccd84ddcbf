#include "window_test_support.h"

#include <QTest>

namespace tessaly::test {

std::string StatusLine(std::string_view label, const char* text) {
  return std::string(label) + text;
}

std::unique_ptr<CMonitorDlg> OpenDialog(FakeMidiInputService& service, uint32_t startPort) {
  auto dialog = std::make_unique<CMonitorDlg>(service, startPort);
  dialog->show();
  if (!QTest::qWaitForWindowExposed(dialog.get())) return nullptr;
  // Shortcuts (F1) and the default button (Enter) work in the active window.
  dialog->activateWindow();
  if (!QTest::qWaitForWindowActive(dialog.get())) return nullptr;
  service.ClearCallLog();
  return dialog;
}

QAbstractButton* Button(CMonitorDlg& dialog, int id) {
  return qobject_cast<QAbstractButton*>(dialog.Control(id));
}

QString EditText(CMonitorDlg& dialog, int id) {
  auto* edit = qobject_cast<QLineEdit*>(dialog.Control(id));
  return edit == nullptr ? QStringLiteral("<no edit>") : edit->text();
}

std::vector<QString> ViewRows(CMonitorDlg& dialog, int listId) {
  std::vector<QString> rows;
  OutputListView* view = dialog.ListView(listId);
  if (view == nullptr) return rows;
  for (int row = 0; row < view->RowCount(); ++row) rows.push_back(view->RowText(row));
  return rows;
}

std::vector<std::string> Lines(const OutputList& list) {
  std::vector<std::string> lines;
  for (size_t i = 0; i < list.Count(); ++i) lines.emplace_back(list.Line(i));
  return lines;
}

QString Latin1(std::string_view bytes) {
  return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

}  // namespace tessaly::test
