// The player on the session bus as an MPRIS media player (org.mpris.MediaPlayer2.lystrel2), so
// that desktop media keys, panel players, phone remotes and playerctl control it.
//
// Every request goes through the main window's own handlers: play and stop through the play/stop
// button's handler (so a stop rewinds), seeks through the position bar, the rate through the tempo
// slider, the volume through the volume slider. Runs on the user-interface thread.
#pragma once

#include <QDBusObjectPath>
#include <QObject>
#include <QVariantMap>

#include <string>

class TfrmMain;

class MprisService : public QObject {
  Q_OBJECT
public:
  // Registers on the session bus; without one the player simply has no MPRIS door.
  explicit MprisService(TfrmMain *window);
  ~MprisService() override;
  bool registered() const { return registered_; }

  TfrmMain *window() const { return window_; }
  QVariantMap properties() const;
  QVariantMap metadata() const;
  qlonglong positionMicroseconds() const;
  // Moves the position bar to a second of the recording as a drag of its thumb would.
  void seekToMicroseconds(qlonglong position);
  void setPlaying(bool playing);
  // Queues one comparison of the properties with those last announced.
  void scheduleAnnounce();

Q_SIGNALS:
  void Seeked(qlonglong position);

private:
  void announce();

  TfrmMain *window_;
  bool registered_ = false;
  bool announceQueued_ = false;
  QVariantMap announced_;
  // The track id changes with the file.
  mutable std::string trackFile_;
  mutable int trackNumber_ = 0;
};
