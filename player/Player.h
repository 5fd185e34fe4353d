// The player: the one way in for every command, whichever door it comes through (the keyboard
// hook, a pedal, the desktop's shortcut portal, MPRIS, `lystrel2 --command`), and the
// announcements of what happened to the sound: a jump, a play or stop, a new recording.
//
// A door only posts. What it posted runs later on the window's thread, in the order posted, never
// on the stack of an input reader, a D-Bus call or a native event filter: a command may open a
// modal dialog, and the door that sent it may be gone by the time the dialog closes. Nothing runs
// before start-up has finished.
#pragma once

#include <QObject>

#include <deque>
#include <functional>

class TfrmMain;

class Player : public QObject {
  Q_OBJECT
public:
  // How a command came: its key pressed or released, or sent without a key.
  enum class Key { Pressed, Released, Sent };

  explicit Player(TfrmMain &window);

  // A command (1-24) of the key map.
  void post(int command, Key key);
  // Any other request of a door (MPRIS's play, seek, rate and volume, its quit), in the same order.
  void post(std::function<void()> request);
  // Whether a command sent by a second start is taken now: not while a dialog or a box is open.
  static bool takesSentCommands();

  // Made by the transport as things happen. Any jump drops an end noticed before it: that end
  // belongs to a place the player has left.
  void announceJump();
  void announceState();
  void announceRecording();

Q_SIGNALS:
  void jumped(qint64 microseconds);
  void stateChanged(bool playing);
  void recordingChanged();

private:
  void run(int command, Key key);
  void runQueued();

  TfrmMain &window_;
  std::deque<std::function<void()>> queue_;
  bool scheduled_ = false;
};
