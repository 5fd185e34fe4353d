// Threads for work that nobody waits for (counting a recording's frames, analysing it), started
// without the calling thread losing its processor.
//
// A new thread starts with its maker's priority, and the scheduler runs a new thread before its
// maker: one made from the window's thread took the window's processor for several milliseconds,
// right when a recording was opened. These threads are made instead by a launcher thread that
// already runs at background priority; the caller only hands it the work.
#pragma once

#include <functional>
#include <future>
#include <thread>

namespace lyt {

class BackgroundThread {
public:
  // Starts `work` on a thread of its own, soon; joined by the destructor.
  explicit BackgroundThread(std::function<void()> work);
  ~BackgroundThread();
  BackgroundThread(const BackgroundThread &) = delete;
  BackgroundThread &operator=(const BackgroundThread &) = delete;

  // Starts `work` on a thread of its own that nobody joins.
  static void detach(std::function<void()> work);
  // Runs `last` on the launcher, after every thread asked for before it has been made: for the
  // end of something whose thread may take a while to finish (a cancelled analysis), so that its
  // owner need not wait. What is handed over is finished before the program ends.
  static void finishInBackground(std::function<void()> last);
  // Starts the launcher now, on a thread where taking a while does not matter (the engine's
  // start), rather than when the window first asks for a background thread.
  static void prepare();

private:
  std::future<std::thread> thread_;
};

} // namespace lyt
