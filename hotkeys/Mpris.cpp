// The two MPRIS interfaces over the main window's controls.
#include "Mpris.h"

#include "CommonTypes.h"
#include "Player.h"
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
  void Raise() {
    service_->post([w = service_->window()] { w->CopyDataReceived(std::string()); });
  }
  void Quit() {
    service_->post([w = service_->window()] { w->close(); });
  }

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
  void setRate(double rate) { service_->setRate(rate); }
  double MinimumRate() const { return kMinimumRate; }
  double MaximumRate() const { return kMaximumRate; }
  double Volume() const { return service_->properties().value(QStringLiteral("Volume")).toDouble(); }
  void setVolume(double volume) { service_->setVolume(volume); }
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
  void Seek(qlonglong offset) { service_->seekBy(offset); }
  // A place outside the track is ignored.
  void SetPosition(const QDBusObjectPath &track, qlonglong position) {
    const bool thisTrack =
        track.path() == service_->metadata().value(QStringLiteral("mpris:trackid")).value<QDBusObjectPath>().path();
    if (thisTrack && position >= 0 && position <= service_->lengthMicroseconds())
      service_->seekTo(position);
  }
  void OpenUri(const QString &uri) {
    const QUrl url(uri);
    if (url.isLocalFile())
      service_->post([w = w(), path = QFile::encodeName(url.toLocalFile()).toStdString()] { w->OpenMediaFile(path); });
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
  connect(window->ThePlayer, &Player::stateChanged, this, &MprisService::scheduleAnnounce);
  connect(window->ThePlayer, &Player::recordingChanged, this, &MprisService::scheduleAnnounce);
  connect(window->ThePlayer, &Player::jumped, this, &MprisService::Seeked);
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
  // The name's bytes, whatever their encoding, percent-encoded: a name that is not UTF-8 stays itself.
  const QString url = QStringLiteral("file://") +
                      QString::fromLatin1(QByteArray::fromStdString(Settings.AudioFileName).toPercentEncoding("/"));
  return {{QStringLiteral("mpris:trackid"),
           QVariant::fromValue(QDBusObjectPath(QStringLiteral("/org/lystrel2/track/%1").arg(trackNumber_)))},
          {QStringLiteral("mpris:length"), lengthMicroseconds()},
          {QStringLiteral("xesam:title"), window_->FileInformation->text()},
          {QStringLiteral("xesam:url"), url}};
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

qlonglong MprisService::lengthMicroseconds() const {
  return window_->Channel == 0 ? 0 : static_cast<qlonglong>(std::llround(lengthSeconds(*window_) * kMicro));
}

void MprisService::post(std::function<void()> request) {
  window_->ThePlayer->post(std::move(request));
}

void MprisService::seekTo(qlonglong position) {
  post([this, position] {
    if (window_->Channel != 0)
      window_->SeekExact(static_cast<double>(position) / kMicro);
  });
}

// From where the sound is when the request runs, not when it was made.
void MprisService::seekBy(qlonglong offset) {
  post([this, offset] {
    if (window_->Channel != 0)
      window_->SeekExact(static_cast<double>(positionMicroseconds() + offset) / kMicro);
  });
}

void MprisService::setPlaying(bool playing) {
  post([this, playing] { applyPlaying(playing); });
}

// Like the play/stop button, which is disabled while no file is open.
void MprisService::applyPlaying(bool playing) {
  if ((window_->Playing == 1) == playing || (playing && window_->Channel == 0))
    return;
  window_->SpdBtn_PlayStop->setDown(playing);
  window_->SpdBtn_PlayStopClick();
  scheduleAnnounce();
}

// A rate of 0 pauses; a negative one (backwards) is not offered.
void MprisService::setRate(double rate) {
  if (rate == 0)
    setPlaying(false);
  else if (rate > 0)
    post([this, rate] { window_->tbTempo->setPosition(static_cast<int>(std::lround(rate * 100)) - 100); });
}

void MprisService::setVolume(double volume) {
  post([this, volume] { window_->tbVolume->setPosition(static_cast<int>(std::lround(volume * 100))); });
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
