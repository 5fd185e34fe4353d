// The player on the session bus as an MPRIS media player (org.mpris.MediaPlayer2.lystrel2), so
// that desktop media keys, panel players, phone remotes and playerctl control it.
//
// Every request is posted to the player and goes through the main window's own handlers: play and
// stop through the play/stop button's handler (so a stop rewinds), seeks through the position bar,
// the rate through the tempo slider, the volume through the volume slider. Every jump the player
// announces, whoever made it, is announced as Seeked. Runs on the user-interface thread.
#pragma once

#include <QDBusObjectPath>
#include <QObject>
#include <QVariantMap>

#include <functional>
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
  qlonglong lengthMicroseconds() const;
  // Requests, posted to the player: a place in the recording (as a drag of the position bar
  // would, but to the microsecond), a place this far from where the sound is when it runs, play
  // or pause, the rate (0 pauses), the volume.
  void seekTo(qlonglong position);
  void seekBy(qlonglong offset);
  void setPlaying(bool playing);
  void setRate(double rate);
  void setVolume(double volume);
  void post(std::function<void()> request);
  // Queues one comparison of the properties with those last announced.
  void scheduleAnnounce();

Q_SIGNALS:
  void Seeked(qlonglong position);

private:
  void announce();
  void applyPlaying(bool playing);

  TfrmMain *window_;
  bool registered_ = false;
  bool announceQueued_ = false;
  QVariantMap announced_;
  // The track id changes with the file.
  mutable std::string trackFile_;
  mutable int trackNumber_ = 0;
};
