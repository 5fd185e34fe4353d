// The analysis thread (cache or decode, then pauses) and the queries on what it has published.
#include "analysis/RecordingAnalysis.h"

#include "analysis/EnvelopeBuilder.h"
#include "analysis/EnvelopeCache.h"
#include "analysis/PauseFinder.h"
#include "decoders/Opening.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <mutex>
#include <thread>

namespace lyt {

static_assert(sizeof(EnvelopeStep) == 8, "the cache file holds the steps as they lie in memory");

namespace {

constexpr int64_t kBlockFrames = 8192;
// Published a second of steps at a time: readers see the envelope grow without the lock being
// taken for every block.
constexpr size_t kPublishSteps = 100;
constexpr int kModuleRate = 44100;

} // namespace

struct RecordingAnalysis::Shared {
  mutable std::mutex mutex;
  std::vector<EnvelopeStep> steps;
  std::vector<Pause> pauses;
  double lengthSeconds = 0;
  State state = State::Running;
  bool fromCache = false;
  std::atomic<bool> cancelled{false};
};

class RecordingAnalysis::Worker {
public:
  Worker(std::shared_ptr<Shared> shared, std::string path, const std::string &cacheDir)
      : shared_(std::move(shared)), path_(std::move(path)), cache_(cacheDir), useCache_(!cacheDir.empty()),
        thread_([this] { run(); }) {}
  ~Worker() {
    shared_->cancelled = true;
    thread_.join();
  }

private:
  void run() {
    const std::optional<RecordingIdentity> before = identify(path_);
    if (useCache_ && before)
      if (std::optional<CachedEnvelope> cached = cache_.load(*before)) {
        finish(std::move(*cached), true);
        return;
      }
    std::optional<CachedEnvelope> decoded = decode();
    if (!decoded) {
      const std::lock_guard lock(shared_->mutex);
      shared_->state = State::Failed;
      return;
    }
    if (shared_->cancelled)
      return;
    // Stored before it is announced, so that whoever opens the file again once it is ready finds it.
    if (useCache_ && before && identify(path_) == before)
      cache_.store(*before, *decoded, shared_->cancelled);
    finish(std::move(*decoded), false);
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
    {
      const std::lock_guard lock(shared_->mutex);
      shared_->lengthSeconds = result.lengthSeconds;
      shared_->steps.reserve(static_cast<size_t>(result.lengthSeconds / kStepSeconds) + 2);
    }
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
    const std::lock_guard lock(shared_->mutex);
    shared_->steps.insert(shared_->steps.end(), steps.begin() + long(published), steps.end());
    return steps.size();
  }

  void finish(CachedEnvelope envelope, bool fromCache) {
    std::vector<Pause> pauses = findPauses(envelope.steps);
    const std::lock_guard lock(shared_->mutex);
    if (fromCache) {
      shared_->steps = std::move(envelope.steps);
      shared_->lengthSeconds = envelope.lengthSeconds;
    }
    shared_->pauses = std::move(pauses);
    shared_->fromCache = fromCache;
    shared_->state = State::Ready;
  }

  std::shared_ptr<Shared> shared_;
  std::string path_;
  EnvelopeCache cache_;
  const bool useCache_;
  std::thread thread_; // last: it starts once everything it uses is there
};

RecordingAnalysis::RecordingAnalysis(const std::string &path, const std::string &cacheDir)
    : shared_(std::make_shared<Shared>()), worker_(std::make_unique<Worker>(shared_, path, cacheDir)) {}

RecordingAnalysis::~RecordingAnalysis() = default;

RecordingAnalysis::State RecordingAnalysis::state() const {
  const std::lock_guard lock(shared_->mutex);
  return shared_->state;
}

bool RecordingAnalysis::fromCache() const {
  const std::lock_guard lock(shared_->mutex);
  return shared_->fromCache;
}

double RecordingAnalysis::lengthSeconds() const {
  const std::lock_guard lock(shared_->mutex);
  return shared_->lengthSeconds;
}

size_t RecordingAnalysis::stepCount() const {
  const std::lock_guard lock(shared_->mutex);
  return shared_->steps.size();
}

double RecordingAnalysis::analysedSeconds() const {
  return double(stepCount()) * kStepSeconds;
}

std::vector<EnvelopeStep> RecordingAnalysis::columns(double startSeconds, double endSeconds, int columns) const {
  std::vector<EnvelopeStep> result(static_cast<size_t>(std::max(columns, 0)));
  if (result.empty() || !(endSeconds > startSeconds))
    return result;
  const double stepsPerColumn = (endSeconds - startSeconds) / kStepSeconds / columns;
  const double firstStep = startSeconds / kStepSeconds;
  const std::lock_guard lock(shared_->mutex);
  const auto &steps = shared_->steps;
  for (size_t column = 0; column < result.size(); ++column) {
    const auto from = static_cast<size_t>(std::max(0.0, std::floor(firstStep + double(column) * stepsPerColumn)));
    const auto to = std::min(steps.size(), static_cast<size_t>(std::max(
        double(from + 1), std::floor(firstStep + double(column + 1) * stepsPerColumn))));
    EnvelopeStep &out = result[column];
    for (size_t i = from; i < to; ++i) {
      out.low = std::min(out.low, steps[i].low);
      out.high = std::max(out.high, steps[i].high);
      out.rms = std::max(out.rms, steps[i].rms);
    }
  }
  return result;
}

std::vector<Pause> RecordingAnalysis::pauses(double fromSeconds, double toSeconds) const {
  const std::lock_guard lock(shared_->mutex);
  const auto &all = shared_->pauses;
  auto first = std::lower_bound(all.begin(), all.end(), fromSeconds,
                                [](const Pause &pause, double at) { return pause.endSeconds < at; });
  auto last = std::upper_bound(first, all.end(), toSeconds,
                               [](double at, const Pause &pause) { return at < pause.startSeconds; });
  return {first, last};
}

std::optional<double> RecordingAnalysis::phraseStartAtOrBefore(double seconds) const {
  const std::lock_guard lock(shared_->mutex);
  if (shared_->state != State::Ready)
    return std::nullopt;
  const auto &all = shared_->pauses;
  auto after = std::upper_bound(all.begin(), all.end(), seconds,
                                [](double at, const Pause &pause) { return at < pause.endSeconds; });
  return after == all.begin() ? 0.0 : std::prev(after)->endSeconds;
}

std::optional<double> RecordingAnalysis::nextPhraseStart(double seconds) const {
  const std::lock_guard lock(shared_->mutex);
  if (shared_->state != State::Ready)
    return std::nullopt;
  const auto &all = shared_->pauses;
  auto next = std::upper_bound(all.begin(), all.end(), seconds,
                               [](double at, const Pause &pause) { return at < pause.endSeconds; });
  if (next == all.end() || next->endSeconds >= double(shared_->steps.size() - 1) * kStepSeconds)
    return std::nullopt;
  return next->endSeconds;
}

} // namespace lyt
