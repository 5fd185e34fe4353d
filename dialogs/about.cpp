// The version dialog: the product, the version compiled in, and the link to the help page.
#include "about.h"

#include "DesktopOpen.h"
#include "Language.h"

#include <QEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>

#include <algorithm>

TfrmAboutBox *frmAboutBox = nullptr;

TfrmAboutBox::TfrmAboutBox(QWidget *parent) : QDialog(parent) {
  setWindowTitle(tr("バージョン情報"));
  setFixedSize(259, 58);
  Label2 = new QLabel(QStringLiteral("Lystrel2"), this);
  Label2->move(16, 9);
  LabelVersion = new QLabel(QStringLiteral("Ver9.99"), this);
  LabelVersion->move(104, 9);
  LabelVersion->setText(QStringLiteral("Ver ") + QStringLiteral(LYT_VERSION));
  LblUrl =
      new QLabel(QStringLiteral(LYT_HELP_URL).replace(QStringLiteral("Lyt2Help.html"), helpPageName()), this);
  LblUrl->move(16, 32);
  QFont underlined = LblUrl->font();
  underlined.setUnderline(true);
  LblUrl->setFont(underlined);
  LblUrl->adjustSize();
  QPalette link = LblUrl->palette();
  link.setColor(QPalette::WindowText, link.color(QPalette::Link));
  LblUrl->setPalette(link);
  LblUrl->setCursor(Qt::PointingHandCursor);
  LblUrl->installEventFilter(this);
  OKButton = new QPushButton(QStringLiteral("OK"), this);
  // The whole link shows: a long one widens the dialog, and OK keeps to its right edge.
  const int width = std::max(259, LblUrl->geometry().right() + 1 + 4 + 63 + 8);
  setFixedWidth(width);
  OKButton->setGeometry(width - 71, 29, 63, 21);
  OKButton->setDefault(true);
  connect(OKButton, &QPushButton::clicked, this, &QDialog::accept);
}

void TfrmAboutBox::showEvent(QShowEvent *event) {
  if (QScreen *screen = QGuiApplication::primaryScreen())
    move(screen->geometry().center() - rect().center());
  QDialog::showEvent(event);
}

bool TfrmAboutBox::eventFilter(QObject *watched, QEvent *event) {
  if (watched == LblUrl && event->type() == QEvent::MouseButtonRelease &&
      static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton)
    LblUrlClick();
  return QDialog::eventFilter(watched, event);
}

void TfrmAboutBox::LblUrlClick() { openWithDesktop(LblUrl->text()); }
