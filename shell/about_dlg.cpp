#include "shell/about_dlg.h"

#include <QFontDatabase>
#include <QLabel>
#include <QPushButton>
#include <QStyle>

#include "shell/app_icon.h"
#include "shell/dialog_units.h"

namespace tessaly {

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
  setWindowTitle(QString::fromLatin1(kAboutDialogTemplate.title));
  QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
  font.setPointSize(kAboutDialogTemplate.fontPointSize);
  setFont(font);
  const DialogBaseUnits units = BaseUnitsOf(font);
  setFixedSize(MapDialogSize(kAboutDialogTemplate.width, kAboutDialogTemplate.height, units));

  for (const ControlTemplate& c : kAboutDialogTemplate.controls) {
    const QRect rect = MapDialogRect(c.rect, units);
    QWidget* widget = nullptr;
    switch (c.kind) {
      case ControlKind::kIcon: {
        // An icon control is as large as the icon: the big icon of the desktop's style.
        const int size = style()->pixelMetric(QStyle::PM_LargeIconSize, nullptr, this);
        auto* icon = new QLabel(this);
        icon->setPixmap(AppIcon().pixmap(size, size));
        icon->setGeometry(rect.x(), rect.y(), size, size);
        widget = icon;
        break;
      }
      case ControlKind::kLabel:
        widget = new QLabel(QString::fromLatin1(c.caption), this);
        widget->setGeometry(rect);
        break;
      case ControlKind::kDefaultButton: {
        auto* ok = new QPushButton(QString::fromLatin1(c.caption), this);
        ok->setDefault(true);
        ok->setGeometry(rect);
        connect(ok, &QPushButton::clicked, this, &QDialog::accept);
        widget = ok;
        break;
      }
      default:
        break;
    }
    if (widget != nullptr && c.id != kIdStatic) {
      widget->setObjectName(QStringLiteral("control%1").arg(c.id));
    }
  }
}

}  // namespace tessaly
