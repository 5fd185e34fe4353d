// The queue every door posts to, and the announcements the window's followers listen to.
#include "Player.h"

#include "CommonTypes.h"

#include <QApplication>

#include <cmath>

std::atomic<int32_t> EndReached{0};

Player::Player(CommandTarget &target, QObject *parent) : QObject(parent), target_(target) {}

void Player::post(int command, Key key) {
  post([this, command, key] { run(command, key); });
}

void Player::post(std::function<void()> request) {
  if (!target_.StartUpFinished())
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
    target_.RunCommand(command);
    break;
  case Key::Released:
    if (command == 1 && Settings.NonLockMode)
      target_.PlayStopKeyReleased();
    break;
  case Key::Sent:
    target_.RunSentCommand(command);
    break;
  }
}

void Player::announceJump() {
  EndReached.store(0);
  if (state.Channel == 0)
    return;
  const double seconds = BASS_ChannelBytes2Seconds(state.Channel, BASS_ChannelGetPosition(state.Channel));
  Q_EMIT jumped(static_cast<qint64>(std::llround(std::max(seconds, 0.0) * 1e6)));
}

void Player::announceState() {
  Q_EMIT stateChanged(state.Playing == 1);
}

void Player::announceRecording() {
  Q_EMIT recordingChanged();
}
