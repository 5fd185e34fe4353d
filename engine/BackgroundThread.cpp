// The launcher: one thread at background priority that makes the background threads, which
// inherit its priority.
#include "BackgroundThread.h"

#include <sys/resource.h>
#include <unistd.h>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <utility>

namespace lyt {

namespace {

// The window's thread and the sound's come first.
constexpr int kBackgroundNice = 10;

struct Launch {
  enum class Kind { Joined, Detached, OnLauncher };
  std::function<void()> work;
  Kind kind = Kind::Joined;
  std::promise<std::thread> made;
};

class Launcher {
public:
  static Launcher &instance() {
    static Launcher launcher;
    return launcher;
  }

  std::future<std::thread> launch(std::function<void()> work, Launch::Kind kind) {
    Launch launch{std::move(work), kind, {}};
    std::future<std::thread> made = launch.made.get_future();
    {
      std::lock_guard<std::mutex> lock(mutex_);
      queue_.push_back(std::move(launch));
    }
    wake_.notify_one();
    return made;
  }

private:
  Launcher() : thread_([this] { run(); }) {}
  // At exit: what was handed over is still done: threads made (and detached or joined by their
  // owners), work meant for the launcher run.
  ~Launcher() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stopping_ = true;
    }
    wake_.notify_one();
    thread_.join();
  }

  void run() {
    setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), kBackgroundNice);
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      wake_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
      if (queue_.empty())
        return;
      Launch launch = std::move(queue_.front());
      queue_.pop_front();
      lock.unlock();
      start(launch);
      lock.lock();
    }
  }

  static void start(Launch &launch) {
    if (launch.kind == Launch::Kind::OnLauncher) {
      launch.work();
      return;
    }
    try {
      std::thread thread(std::move(launch.work));
      if (launch.kind == Launch::Kind::Detached)
        thread.detach();
      launch.made.set_value(std::move(thread));
    } catch (const std::system_error &) {
      launch.made.set_exception(std::current_exception()); // no thread could be made
    }
  }

  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<Launch> queue_;
  bool stopping_ = false;
  std::thread thread_; // last: it starts once everything it uses is there
};

} // namespace

BackgroundThread::BackgroundThread(std::function<void()> work)
    : thread_(Launcher::instance().launch(std::move(work), Launch::Kind::Joined)) {}

BackgroundThread::~BackgroundThread() {
  try {
    std::thread thread = thread_.get();
    thread.join();
  } catch (const std::system_error &) {
    // It never started.
  }
}

void BackgroundThread::detach(std::function<void()> work) {
  Launcher::instance().launch(std::move(work), Launch::Kind::Detached);
}

void BackgroundThread::finishInBackground(std::function<void()> last) {
  Launcher::instance().launch(std::move(last), Launch::Kind::OnLauncher);
}

void BackgroundThread::prepare() {
  Launcher::instance();
}

} // namespace lyt
