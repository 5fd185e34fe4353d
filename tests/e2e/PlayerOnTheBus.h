// What the running program says of itself through its media-player interface (MPRIS) on the
// tests' private session bus: the tests wait on it rather than on the clock.
#pragma once

#include <QString>
#include <QVariant>

class PlayerOnTheBus {
public:
  // Whether the program answers: it does once its start-up has finished.
  bool answers() const { return property("PlaybackStatus").isValid(); }
  // "Playing", "Paused" (stopped with a file open) or "Stopped" (no file).
  QString status() const { return property("PlaybackStatus").toString(); }
  double seconds() const { return property("Position").toLongLong() / 1e6; }
  double rate() const { return property("Rate").toDouble(); }
  double volume() const { return property("Volume").toDouble(); }
  bool playing() const { return status() == QLatin1String("Playing"); }
  // Stopped with a file open (a stop here rewinds, so the interface calls it paused).
  bool stopped() const { return status() == QLatin1String("Paused"); }
  // Stopped with a file open, within half a second of `at`.
  bool stoppedAt(double at) const;
  // Playing, at `at` seconds or up to `ahead` seconds past it.
  bool playingFrom(double at, double ahead = 5) const;

private:
  QVariant property(const char *name) const;
};
