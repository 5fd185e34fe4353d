// The recent recordings of the File menu: each left at its place, and put back there when it is
// chosen again (or opened any other way, when the user asks for that).
#include "AbsolutePath.h"
#include "CommonTypes.h"
#include "Player.h"
#include "TrackBar.h"
#include "U_Main.h"

#include <QAction>
#include <QFile>
#include <QFontMetrics>
#include <QMenu>

#include <filesystem>
#include <system_error>

namespace {

constexpr int kShownPathPixels = 420;

bool fileExists(const std::string &path) {
  std::error_code error;
  return std::filesystem::exists(path, error);
}

// "&1 /rec/interview.mp3", long paths shortened in the middle, an ampersand shown as itself.
QString itemText(size_t index, const std::string &path, const QFontMetrics &metrics) {
  const QString shown =
      metrics.elidedText(QFile::decodeName(QByteArray::fromStdString(path)), Qt::ElideMiddle, kShownPathPixels);
  return QStringLiteral("&%1 ").arg((index + 1) % 10) + QString(shown).replace(QLatin1Char('&'), QLatin1String("&&"));
}

} // namespace

TRecentFile TfrmMain::CurrentPlace() const {
  TRecentFile place;
  place.Path = absolutePath(Settings.AudioFileName);
  place.Position = hsPosition->Position();
  place.RepeatFlag = RepeatState;
  place.RepeatPointA = Settings.RepeatPointA;
  place.RepeatPointB = Settings.RepeatPointB;
  place.Tempo = tbTempo->Position();
  return place;
}

void TfrmMain::RememberPlace() {
  if (FileLoaded)
    Settings.RecentFiles.keepPlace(CurrentPlace());
}

void TfrmMain::ResumeListedPlace(const std::string &path) {
  const TRecentFile *listed = Settings.RecentFiles.find(absolutePath(path));
  if (!FileLoaded || !listed)
    return;
  const TRecentFile place = *listed;
  Settings.RepeatPointA = place.RepeatPointA;
  Settings.RepeatPointB = place.RepeatPointB;
  RestoreRepeatSection(place.RepeatFlag >= 0 && place.RepeatFlag <= 3 ? place.RepeatFlag : 0, true);
  hsPosition->setPosition(static_cast<int>(place.Position));
  PositionSource(hsPosition->Position());
  UpdatePositionLabel(hsPosition->Position());
  tbTempo->setPosition(place.Tempo);
}

void TfrmMain::OpenRecentFile(const std::string &path) {
  OpenMediaFile(path);
  ResumeListedPlace(path);
}

void TfrmMain::OpenChosenFile(const std::string &path) {
  OpenMediaFile(path);
  if (Settings.ResumeAnyOpening)
    ResumeListedPlace(path);
}

void TfrmMain::FillRecentMenu() {
  RecentFiles1->clear();
  const QFontMetrics metrics(RecentFiles1->font());
  const std::vector<TRecentFile> &entries = Settings.RecentFiles.entries();
  for (size_t i = 0; i < entries.size(); ++i) {
    const std::string path = entries[i].Path;
    QAction *item = RecentFiles1->addAction(itemText(i, path, metrics));
    item->setEnabled(fileExists(path));
    // Opening runs from the player's queue, after the menu has closed.
    connect(item, &QAction::triggered, this, [this, path] { ThePlayer->post([this, path] { OpenRecentFile(path); }); });
  }
  RecentFiles1->addSeparator();
  RecentFiles1->addAction(ClearRecent1);
  ClearRecent1->setEnabled(!entries.empty());
}

void TfrmMain::ClearRecent1Click() {
  Settings.RecentFiles.clear();
}
