// The analysis thread (cache or decode, then pauses) and the queries on what it has published.
#include "analysis/RecordingAnalysis.h"

#include "BackgroundThread.h"
#include "analysis/EnvelopeBuilder.h"
#include "analysis/EnvelopeCache.h"
#include "analysis/EnvelopeLevels.h"
#include "analysis/PauseFinder.h"
#include "decoders/Opening.h"

#include <algorithm>
#include <atomic>

namespace lyt {

static_assert(sizeof(EnvelopeStep) == 8, "the cache file holds the steps as they lie in memory");

namespace {

constexpr int64_t kBlockFrames = 8192;
// Published a second of steps at a time.
constexpr size_t kPublishSteps = 100;
constexpr int kModuleRate = 44100;

} // namespace

// Written by the worker alone. Readers take no lock: the envelope publishes its own counts, and
// the pauses are written once, before the state says Ready.
struct RecordingAnalysis::Shared {
  EnvelopeLevels envelope;
  std::vector<Pause> pauses;
  std::atomic<double> lengthSeconds{0};
  std::atomic<State> state{State::Running};
  std::atomic<bool> fromCache{false};
  std::atomic<bool> cancelled{false};

  bool ready() const { return state.load() == State::Ready; }
};

class RecordingAnalysis::Worker {
public:
  Worker(std::shared_ptr<Shared> shared, std::string path, const std::string &cacheDir)
      : shared_(std::move(shared)), path_(std::move(path)), cache_(cacheDir), useCache_(!cacheDir.empty()),
        thread_([this] { run(); }) {}
  // The thread, the first member to go, is joined once it has seen the cancel.
  ~Worker() { shared_->cancelled = true; }

private:
  void run() {
    const std::optional<RecordingIdentity> before = identify(path_);
    if (useCache_ && before)
      if (std::optional<CachedEnvelope> cached = cache_.load(*before)) {
        shared_->lengthSeconds = cached->lengthSeconds;
        shared_->envelope.append(cached->steps.data(), cached->steps.size());
        finish(cached->steps, true);
        return;
      }
    std::optional<CachedEnvelope> decoded = decode();
    if (!decoded) {
      if (!shared_->cancelled)
        shared_->state = State::Failed;
      return;
    }
    // Stored before it is announced, so that whoever opens the file again once it is ready finds it.
    if (useCache_ && before && identify(path_) == before)
      cache_.store(*before, *decoded, shared_->cancelled);
    finish(decoded->steps, false);
  }

  // The whole recording decoded and published as it goes; nothing when it cannot be opened or
  // the work is cancelled.
  std::optional<CachedEnvelope> decode() {
    std::unique_ptr<Decoder> decoder;
    try {
      decoder = openAnyKind(path_.c_str(), kModuleRate);
    } catch (const std::exception &) {
      return std::nullopt;
    }
    CachedEnvelope result;
    result.lengthSeconds = double(decoder->lengthFrames()) / decoder->sampleRate();
    shared_->lengthSeconds = result.lengthSeconds;
    result.steps.reserve(static_cast<size_t>(result.lengthSeconds / kStepSeconds) + 2);
    EnvelopeBuilder builder(decoder->sampleRate(), decoder->channels());
    std::vector<float> block(static_cast<size_t>(kBlockFrames * decoder->channels()));
    size_t published = 0;
    try {
      for (int64_t got; !shared_->cancelled && (got = decoder->read(block.data(), kBlockFrames)) > 0;) {
        builder.add(block.data(), got, result.steps);
        if (result.steps.size() - published >= kPublishSteps)
          published = publishFrom(result.steps, published);
      }
    } catch (const std::exception &) {
      // A recording damaged further in ends where the damage begins, as it does when played.
    }
    if (shared_->cancelled)
      return std::nullopt;
    builder.finish(result.steps);
    publishFrom(result.steps, published);
    return result;
  }

  size_t publishFrom(const std::vector<EnvelopeStep> &steps, size_t published) {
    shared_->envelope.append(steps.data() + published, steps.size() - published);
    return steps.size();
  }

  void finish(const std::vector<EnvelopeStep> &steps, bool fromCache) {
    shared_->pauses = findPauses(steps);
    shared_->envelope.complete();
    shared_->fromCache = fromCache;
    shared_->state = State::Ready;
  }

  std::shared_ptr<Shared> shared_;
  std::string path_;
  EnvelopeCache cache_;
  const bool useCache_;
  // Last: it starts once everything it uses is there. At background priority: nothing waits on
  // it while it is descheduled, as readers take no lock.
  BackgroundThread thread_;
};

RecordingAnalysis::RecordingAnalysis(const std::string &path, const std::string &cacheDir)
    : shared_(std::make_shared<Shared>()), worker_(std::make_unique<Worker>(shared_, path, cacheDir)) {}

RecordingAnalysis::~RecordingAnalysis() = default;

void RecordingAnalysis::discard(std::unique_ptr<RecordingAnalysis> analysis) {
  if (!analysis)
    return;
  analysis->shared_->cancelled = true;
  // Its thread was asked of the launcher before this, so it has been made by the time this runs.
  BackgroundThread::finishInBackground(
      [worker = std::shared_ptr<Worker>(std::move(analysis->worker_))]() mutable { worker.reset(); });
}

RecordingAnalysis::State RecordingAnalysis::state() const {
  return shared_->state;
}

bool RecordingAnalysis::fromCache() const {
  return shared_->fromCache;
}

double RecordingAnalysis::lengthSeconds() const {
  return shared_->lengthSeconds;
}

size_t RecordingAnalysis::stepCount() const {
  return shared_->envelope.stepCount();
}

double RecordingAnalysis::analysedSeconds() const {
  return double(stepCount()) * kStepSeconds;
}

std::vector<EnvelopeStep> RecordingAnalysis::columns(double startSeconds, double endSeconds, int columns) const {
  if (columns <= 0 || !(endSeconds > startSeconds))
    return std::vector<EnvelopeStep>(static_cast<size_t>(std::max(columns, 0)));
  return shared_->envelope.columns(startSeconds / kStepSeconds, (endSeconds - startSeconds) / kStepSeconds / columns,
                                   columns);
}

std::vector<Pause> RecordingAnalysis::pauses(double fromSeconds, double toSeconds) const {
  if (!shared_->ready())
    return {};
  const auto &all = shared_->pauses;
  auto first = std::lower_bound(all.begin(), all.end(), fromSeconds,
                                [](const Pause &pause, double at) { return pause.endSeconds < at; });
  auto last = std::upper_bound(first, all.end(), toSeconds,
                               [](double at, const Pause &pause) { return at < pause.startSeconds; });
  return {first, last};
}

std::optional<double> RecordingAnalysis::phraseStartAtOrBefore(double seconds) const {
  if (!shared_->ready())
    return std::nullopt;
  const auto &all = shared_->pauses;
  auto after = std::upper_bound(all.begin(), all.end(), seconds,
                                [](double at, const Pause &pause) { return at < pause.endSeconds; });
  return after == all.begin() ? 0.0 : std::prev(after)->endSeconds;
}

std::optional<double> RecordingAnalysis::nextPhraseStart(double seconds) const {
  if (!shared_->ready())
    return std::nullopt;
  const auto &all = shared_->pauses;
  auto next = std::upper_bound(all.begin(), all.end(), seconds,
                               [](double at, const Pause &pause) { return at < pause.endSeconds; });
  if (next == all.end() || next->endSeconds >= analysedSeconds() - kStepSeconds)
    return std::nullopt;
  return next->endSeconds;
}

} // namespace lyt
