// The queue every door posts to, and the announcements the window's followers listen to.
#include "Player.h"

#include "CommonTypes.h"
#include "U_Main.h"

#include <QApplication>

#include <cmath>

Player::Player(TfrmMain &window) : QObject(&window), window_(window) {}

void Player::post(int command, Key key) {
  post([this, command, key] { run(command, key); });
}

void Player::post(std::function<void()> request) {
  if (!window_.StartUpFinished())
    return;
  queue_.push_back(std::move(request));
  if (scheduled_)
    return;
  scheduled_ = true;
  QMetaObject::invokeMethod(this, &Player::runQueued, Qt::QueuedConnection);
}

bool Player::takesSentCommands() {
  return !QApplication::activeModalWidget();
}

// A request that opens a modal dialog runs the queue on inside the dialog's loop, as keys act
// while the dialog is open; the order stays the order posted.
void Player::runQueued() {
  scheduled_ = false;
  while (!queue_.empty()) {
    const std::function<void()> request = std::move(queue_.front());
    queue_.pop_front();
    request();
  }
}

void Player::run(int command, Key key) {
  constexpr int kEnterCounter = 6;
  switch (key) {
  case Key::Pressed:
    // The counter dialog is modal: it does not open again over itself or over another dialog.
    if (command == kEnterCounter && QApplication::activeModalWidget())
      return;
    window_.RunCommand(command);
    break;
  case Key::Released:
    if (command == 1 && Settings.NonLockMode)
      window_.PlayStopKeyReleased();
    break;
  case Key::Sent:
    window_.RunSentCommand(command);
    break;
  }
}

void Player::announceJump() {
  EndReached.store(0);
  if (window_.Channel == 0)
    return;
  const double seconds = BASS_ChannelBytes2Seconds(window_.Channel, BASS_ChannelGetPosition(window_.Channel));
  Q_EMIT jumped(static_cast<qint64>(std::llround(std::max(seconds, 0.0) * 1e6)));
}

void Player::announceState() {
  Q_EMIT stateChanged(window_.Playing == 1);
}

void Player::announceRecording() {
  Q_EMIT recordingChanged();
}
