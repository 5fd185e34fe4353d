// A private PulseAudio server for the tests, with a null sink whose monitor the tests listen to:
// what a user's desktop runs (PipeWire serves the same protocol), started in a folder of its own.
#pragma once

#include <sys/types.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace lyt::test {

class PulseServer {
public:
  static constexpr int kRate = 44100;

  // Only makes the folder; start() starts the server.
  explicit PulseServer(bool suspendOnIdle = false);
  ~PulseServer();
  PulseServer(const PulseServer &) = delete;
  PulseServer &operator=(const PulseServer &) = delete;

  // Starts it and waits until it answers; false when it does not.
  bool start();
  // Ends it at once, as a crash would.
  void kill();
  // Stops it answering (SIGSTOP) or lets it go on.
  void stall(bool stalled);
  // The address clients are given in PULSE_SERVER.
  std::string address() const { return "unix:" + folder_ + "/pulse/native"; }
  // What `pactl ARGS` prints about this server.
  std::string pactl(const std::string &args) const;
  pid_t pid() const { return pid_; }
  // Whether a stream of ours is on the sink, and whether it is corked.
  bool hasStream() const;
  bool streamCorked() const;

private:
  std::string folder_;
  bool suspendOnIdle_;
  pid_t pid_ = -1;
};

// Records the null sink's monitor, left channel, from construction on; constructed, the sink plays
// what it is given at once.
class MonitorRecording {
public:
  explicit MonitorRecording(const PulseServer &server);
  ~MonitorRecording();
  MonitorRecording(const MonitorRecording &) = delete;
  MonitorRecording &operator=(const MonitorRecording &) = delete;

  bool recording() const { return open_.load() && frames() > 0; }
  std::vector<float> left() const;
  size_t frames() const;
  // When frame `frame` reached the monitor, as near as its chunk's arrival tells.
  std::chrono::steady_clock::time_point arrivalOf(size_t frame) const;

private:
  void record(const std::string &server);

  std::atomic<bool> open_{false};
  std::atomic<bool> stopping_{false};
  mutable std::mutex mutex_;
  std::vector<float> left_;
  std::vector<std::chrono::steady_clock::time_point> chunkArrivals_;
  std::thread thread_;
};

} // namespace lyt::test
