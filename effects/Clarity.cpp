// Noise reduction, automatic level and the channel that is heard: their menu items (in the
// options menu and the right-click menu alike), what they set in the engine, and the mark on the
// spectrum that tells they are on.
#include "CommonTypes.h"
#include "U_Main.h"

#include <QActionGroup>
#include <QLabel>
#include <QMenu>

namespace {

QAction *checkItem(QMenu *menu, const QString &text) {
  QAction *item = menu->addAction(text);
  item->setCheckable(true);
  return item;
}

} // namespace

void TfrmMain::createClarityItems() {
  ClarityMenu = new QMenu(tr("聞き取りやすく(&L)"), this);
  ItemDenoise = checkItem(ClarityMenu, tr("ノイズ除去(&N)"));
  ItemAutoLevel = checkItem(ClarityMenu, tr("音量の自動調整(&A)"));
  ClarityMenu->addSeparator();
  auto *channels = new QActionGroup(this);
  for (QAction **item : {&ItemChannelBoth, &ItemChannelLeft, &ItemChannelRight})
    *item = channels->addAction(checkItem(ClarityMenu, QString()));
  ItemChannelBoth->setText(tr("両方のチャンネル(&B)"));
  ItemChannelLeft->setText(tr("左チャンネルのみ(&L)"));
  ItemChannelRight->setText(tr("右チャンネルのみ(&R)"));
  Option1->addMenu(ClarityMenu);
  PopupMenu1->addSeparator();
  PopupMenu1->addMenu(ClarityMenu);
  for (QAction *item : ClarityMenu->actions())
    connect(item, &QAction::triggered, this, &TfrmMain::ClarityItemClick);
}

void TfrmMain::ClarityItemClick() {
  Settings.Denoise = ItemDenoise->isChecked();
  Settings.AutoLevel = ItemAutoLevel->isChecked();
  Settings.ChannelChoice = ItemChannelLeft->isChecked()    ? LYT_CHANNEL_LEFT
                           : ItemChannelRight->isChecked() ? LYT_CHANNEL_RIGHT
                                                           : LYT_CHANNEL_BOTH;
  ApplyClarity();
}

void TfrmMain::ApplyClarity() {
  const LYT_CLARITY clarity{Settings.Denoise ? TRUE : FALSE, Settings.AutoLevel ? TRUE : FALSE,
                            Settings.ChannelChoice};
  LYT_SetClarity(Channel, &clarity);
  ShowClarity();
}

void TfrmMain::ShowClarity() {
  ItemDenoise->setChecked(Settings.Denoise);
  ItemAutoLevel->setChecked(Settings.AutoLevel);
  ItemChannelLeft->setChecked(Settings.ChannelChoice == LYT_CHANNEL_LEFT);
  ItemChannelRight->setChecked(Settings.ChannelChoice == LYT_CHANNEL_RIGHT);
  ItemChannelBoth->setChecked(Settings.ChannelChoice == LYT_CHANNEL_BOTH);
  QStringList on;
  if (Settings.Denoise)
    on << tr("除去");
  if (Settings.AutoLevel)
    on << tr("自動");
  if (Settings.ChannelChoice != LYT_CHANNEL_BOTH)
    on << (Settings.ChannelChoice == LYT_CHANNEL_LEFT ? tr("左") : tr("右"));
  lblClarity->setText(on.join(QLatin1Char(' ')));
  lblClarity->setVisible(!on.isEmpty());
}
