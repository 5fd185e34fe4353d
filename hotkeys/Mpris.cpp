// The two MPRIS interfaces over the main window's controls.
#include "Mpris.h"

#include "CommonTypes.h"
#include "SpeedButton.h"
#include "TrackBar.h"
#include "U_Main.h"

#include <QDBusAbstractAdaptor>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QFile>
#include <QLabel>
#include <QTimer>
#include <QUrl>

#include <cmath>

namespace {

const QString kService = QStringLiteral("org.mpris.MediaPlayer2.lystrel2");
const QString kPath = QStringLiteral("/org/mpris/MediaPlayer2");
const QString kPlayerInterface = QStringLiteral("org.mpris.MediaPlayer2.Player");
constexpr double kMicro = 1e6;
constexpr double kMinimumRate = 0.5, kMaximumRate = 4.0; // the tempo slider's range once a file is open

class RootAdaptor : public QDBusAbstractAdaptor {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2")
  Q_PROPERTY(bool CanQuit READ yes)
  Q_PROPERTY(bool CanRaise READ yes)
  Q_PROPERTY(bool HasTrackList READ no)
  Q_PROPERTY(QString Identity READ Identity)
  Q_PROPERTY(QString DesktopEntry READ DesktopEntry)
  Q_PROPERTY(QStringList SupportedUriSchemes READ SupportedUriSchemes)
  Q_PROPERTY(QStringList SupportedMimeTypes READ SupportedMimeTypes)
public:
  explicit RootAdaptor(MprisService *service) : QDBusAbstractAdaptor(service), service_(service) {}
  bool yes() const { return true; }
  bool no() const { return false; }
  QString Identity() const { return QStringLiteral("Lystrel2"); }
  QString DesktopEntry() const { return QStringLiteral("lystrel2"); }
  QStringList SupportedUriSchemes() const { return {QStringLiteral("file")}; }
  QStringList SupportedMimeTypes() const { return {}; }

public Q_SLOTS:
  void Raise() { service_->window()->CopyDataReceived(std::string()); }
  void Quit() { service_->window()->close(); }

private:
  MprisService *service_;
};

class PlayerAdaptor : public QDBusAbstractAdaptor {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2.Player")
  Q_PROPERTY(QString PlaybackStatus READ PlaybackStatus)
  Q_PROPERTY(double Rate READ Rate WRITE setRate)
  Q_PROPERTY(double MinimumRate READ MinimumRate)
  Q_PROPERTY(double MaximumRate READ MaximumRate)
  Q_PROPERTY(double Volume READ Volume WRITE setVolume)
  Q_PROPERTY(qlonglong Position READ Position)
  Q_PROPERTY(QVariantMap Metadata READ Metadata)
  Q_PROPERTY(bool CanGoNext READ no)
  Q_PROPERTY(bool CanGoPrevious READ no)
  Q_PROPERTY(bool CanPlay READ loaded)
  Q_PROPERTY(bool CanPause READ loaded)
  Q_PROPERTY(bool CanSeek READ loaded)
  Q_PROPERTY(bool CanControl READ yes)
public:
  explicit PlayerAdaptor(MprisService *service) : QDBusAbstractAdaptor(service), service_(service) {
    connect(service, &MprisService::Seeked, this, &PlayerAdaptor::Seeked);
  }
  QString PlaybackStatus() const { return property(QStringLiteral("PlaybackStatus")); }
  double Rate() const { return service_->properties().value(QStringLiteral("Rate")).toDouble(); }
  void setRate(double rate) {
    if (rate > 0) // 0 would mean a pause; the player has no such speed
      w()->tbTempo->setPosition(static_cast<int>(std::lround(rate * 100)) - 100);
  }
  double MinimumRate() const { return kMinimumRate; }
  double MaximumRate() const { return kMaximumRate; }
  double Volume() const { return service_->properties().value(QStringLiteral("Volume")).toDouble(); }
  void setVolume(double volume) { w()->tbVolume->setPosition(static_cast<int>(std::lround(volume * 100))); }
  qlonglong Position() const { return service_->positionMicroseconds(); }
  QVariantMap Metadata() const { return service_->metadata(); }
  bool no() const { return false; }
  bool yes() const { return true; }
  bool loaded() const { return w()->Channel != 0; }

public Q_SLOTS:
  void Next() {}
  void Previous() {}
  void Play() { service_->setPlaying(true); }
  void Pause() { service_->setPlaying(false); }
  void Stop() { service_->setPlaying(false); }
  void PlayPause() { service_->setPlaying(w()->Playing == 0); }
  void Seek(qlonglong offset) { service_->seekToMicroseconds(service_->positionMicroseconds() + offset); }
  void SetPosition(const QDBusObjectPath &track, qlonglong position) {
    if (track.path() == service_->metadata().value(QStringLiteral("mpris:trackid")).value<QDBusObjectPath>().path())
      service_->seekToMicroseconds(position);
  }
  void OpenUri(const QString &uri) {
    const QUrl url(uri);
    if (url.isLocalFile())
      w()->OpenMediaFile(QFile::encodeName(url.toLocalFile()).toStdString());
  }

Q_SIGNALS:
  void Seeked(qlonglong Position);

private:
  TfrmMain *w() const { return service_->window(); }
  QString property(const QString &name) const { return service_->properties().value(name).toString(); }
  MprisService *service_;
};

double lengthSeconds(const TfrmMain &w) {
  if (w.IsMusic)
    return w.hsPosition->Max();
  return BASS_ChannelBytes2Seconds(w.Channel, BASS_StreamGetLength(w.Channel));
}

} // namespace

MprisService::MprisService(TfrmMain *window) : QObject(window), window_(window) {
  new RootAdaptor(this);
  new PlayerAdaptor(this);
  QDBusConnection bus = QDBusConnection::sessionBus();
  registered_ = bus.isConnected() && bus.registerObject(kPath, this) && bus.registerService(kService);
  for (TrackBar *slider : {window->hsPosition, window->tbTempo, window->tbVolume}) {
    connect(slider, &QSlider::valueChanged, this, &MprisService::scheduleAnnounce);
    connect(slider, &QSlider::rangeChanged, this, &MprisService::scheduleAnnounce);
  }
  connect(window->SpdBtn_PlayStop, &QAbstractButton::toggled, this, &MprisService::scheduleAnnounce);
  announced_ = properties();
}

MprisService::~MprisService() {
  if (registered_) {
    QDBusConnection::sessionBus().unregisterService(kService);
    QDBusConnection::sessionBus().unregisterObject(kPath);
  }
}

QVariantMap MprisService::metadata() const {
  if (window_->Channel == 0)
    return {{QStringLiteral("mpris:trackid"),
             QVariant::fromValue(QDBusObjectPath(QStringLiteral("/org/mpris/MediaPlayer2/TrackList/NoTrack")))}};
  if (Settings.AudioFileName != trackFile_) {
    trackFile_ = Settings.AudioFileName;
    ++trackNumber_;
  }
  const QString path = QFile::decodeName(QByteArray::fromStdString(Settings.AudioFileName));
  return {{QStringLiteral("mpris:trackid"),
           QVariant::fromValue(QDBusObjectPath(QStringLiteral("/org/lystrel2/track/%1").arg(trackNumber_)))},
          {QStringLiteral("mpris:length"), static_cast<qlonglong>(std::llround(lengthSeconds(*window_) * kMicro))},
          {QStringLiteral("xesam:title"), window_->FileInformation->text()},
          {QStringLiteral("xesam:url"), QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded)}};
}

QVariantMap MprisService::properties() const {
  const bool loaded = window_->Channel != 0;
  const QString status = window_->Playing == 1 ? QStringLiteral("Playing")
                         : loaded              ? QStringLiteral("Paused")
                                               : QStringLiteral("Stopped");
  return {{QStringLiteral("PlaybackStatus"), status},
          {QStringLiteral("Rate"), (window_->tbTempo->Position() + 100) / 100.0},
          {QStringLiteral("Volume"), window_->tbVolume->Position() / 100.0},
          {QStringLiteral("Metadata"), metadata()},
          {QStringLiteral("CanPlay"), loaded},
          {QStringLiteral("CanPause"), loaded},
          {QStringLiteral("CanSeek"), loaded}};
}

qlonglong MprisService::positionMicroseconds() const {
  if (window_->Channel == 0)
    return 0;
  return std::llround(BASS_ChannelBytes2Seconds(window_->Channel, BASS_ChannelGetPosition(window_->Channel)) * kMicro);
}

void MprisService::seekToMicroseconds(qlonglong position) {
  if (window_->Channel == 0)
    return;
  const auto seconds = static_cast<int>(std::max<qlonglong>(position, 0) / static_cast<qlonglong>(kMicro));
  window_->hsPosition->setPosition(seconds);
  window_->SubclassWndProc(TrackBar::ThumbPosition, window_->hsPosition->Position());
  Q_EMIT Seeked(static_cast<qlonglong>(window_->hsPosition->Position()) * static_cast<qlonglong>(kMicro));
}

// Like the play/stop button, which is disabled while no file is open.
void MprisService::setPlaying(bool playing) {
  if ((window_->Playing == 1) == playing || (playing && window_->Channel == 0))
    return;
  window_->SpdBtn_PlayStop->setDown(playing);
  window_->SpdBtn_PlayStopClick();
  scheduleAnnounce();
}

void MprisService::scheduleAnnounce() {
  if (announceQueued_)
    return;
  announceQueued_ = true;
  QTimer::singleShot(0, this, &MprisService::announce);
}

// PropertiesChanged carries only what differs from the last announcement.
void MprisService::announce() {
  announceQueued_ = false;
  const QVariantMap now = properties();
  QVariantMap changed;
  for (auto it = now.cbegin(); it != now.cend(); ++it)
    if (announced_.value(it.key()) != it.value())
      changed.insert(it.key(), it.value());
  announced_ = now;
  if (changed.isEmpty() || !registered_)
    return;
  QDBusMessage signal = QDBusMessage::createSignal(kPath, QStringLiteral("org.freedesktop.DBus.Properties"),
                                                   QStringLiteral("PropertiesChanged"));
  signal << kPlayerInterface << changed << QStringList();
  QDBusConnection::sessionBus().send(signal);
}

#include "Mpris.moc"
