#pragma once

#include <QDialog>

// The about box (template 100): the icon, the version, one line on what the program is, OK.
namespace tessaly {

class CAboutDlg : public QDialog {
  Q_OBJECT

 public:
  explicit CAboutDlg(QWidget* parent = nullptr);
};

}  // namespace tessaly
