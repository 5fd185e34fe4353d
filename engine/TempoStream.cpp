// Recording what is asked, rendering ahead, restarting, and handing the rendered audio to the device.
#include "TempoStream.h"

#include <soundtouch/SoundTouch.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>

namespace lyt {
namespace {

constexpr int kSourceChunk = 1024;
constexpr uint64_t kHeardFrameMask = (uint64_t(1) << 48) - 1;

} // namespace

TempoStream::TempoStream(SourceChannel &source, int deviceRate)
    : source_(source), deviceRate_(deviceRate), rateHz_(source.sampleRate()),
      restartFrame_(source.position()), stretch_(std::make_unique<soundtouch::SoundTouch>()),
      input_(static_cast<size_t>(kSourceChunk) * source.channels()),
      stretched_(static_cast<size_t>(kSourceChunk) * source.channels()) {
  stretch_->setChannels(static_cast<unsigned>(source.channels()));
  stretch_->setSampleRate(static_cast<unsigned>(source.sampleRate()));
}

TempoStream::~TempoStream() = default;

// --- control

void TempoStream::setShape(float tempoPercent, int rateHz, float pitchSemitones) {
  tempoPercent_ = tempoPercent;
  rateHz_ = rateHz;
  pitchSemitones_ = pitchSemitones;
  soundChanged();
}

double TempoStream::playingSeconds(double seconds) const {
  return seconds / (1 + tempoPercent_ / 100.0) * source_.sampleRate() / rateHz_;
}

void TempoStream::setVolume(int volume) {
  volume_ = volume;
  setPan(pan_);
}

void TempoStream::setPan(int pan) {
  pan_ = pan;
  const float gain = volume_ / 100.0f;
  leftGain_.store(gain * std::min(1.0f, 1 - pan / 100.0f), std::memory_order_relaxed);
  rightGain_.store(gain * std::min(1.0f, 1 + pan / 100.0f), std::memory_order_relaxed);
}

void TempoStream::play(bool flush) {
  if (flush && source_.active())
    restartAt(heardFrame());
  playing_ = true;
}

void TempoStream::stop() {
  playing_ = false;
  if (source_.active())
    restartAt(source_.withinLength(heardFrame()));
  else
    bumpGeneration(heardFrame());
}

void TempoStream::restartAt(int64_t frame) {
  // An output whose source ended has fallen silent: a new position alone does not wake it.
  if (finished())
    playing_ = false;
  source_.setPosition(frame);
  bumpGeneration(frame);
}

void TempoStream::soundChanged() {
  ++configSerial_;
  // Nothing is rendered ahead while stopped.
  if (playing_ && source_.active())
    restartAt(source_.withinLength(heardFrame()));
}

void TempoStream::bumpGeneration(int64_t restartFrame) {
  restartFrame_ = restartFrame;
  endPending_ = false;
  // A source that has ended has nothing more to give until it gets a new position.
  tailDone_ = source_.ended() && !source_.active();
  const uint32_t generation = generation_.fetch_add(1, std::memory_order_acq_rel) + 1;
  if (tailDone_)
    heardEnd_.store(generation, std::memory_order_release);
}

int64_t TempoStream::heardFrame() const {
  const uint64_t heard = heard_.load(std::memory_order_acquire);
  const uint32_t current = generation_.load(std::memory_order_acquire);
  if ((heard >> 48) != (current & 0xFFFF))
    return restartFrame_;
  return static_cast<int64_t>(heard & kHeardFrameMask);
}

void TempoStream::setTargetFrames(int frames) {
  targetBlocks_ = std::clamp<int>((frames + AudioBlock::kFrames - 1) / AudioBlock::kFrames, 2,
                                  static_cast<int>(ring_.capacity()) - 2);
}

// --- render

bool TempoStream::wantsAudio() const {
  // A ring full of blocks that the device has not taken yet, stale or not, leaves nothing to do
  // until the device takes some.
  if (!playing_ || tailDone_ || ring_.size() == ring_.capacity())
    return false;
  const bool restartPending = generation_.load(std::memory_order_relaxed) != renderGeneration_;
  if (!source_.active() && !(source_.ended() && !restartPending))
    return false;
  if (restartPending)
    return true;
  // Blocks written before the last restart are dropped unheard; they do not count as ahead.
  const size_t ahead = ring_.written() - std::max(ring_.taken(), restartHead_);
  return !renderTailDone_ && ahead < static_cast<size_t>(targetBlocks_);
}

TempoStream::Job TempoStream::takeJob() {
  Job job;
  job.generation = generation_.load(std::memory_order_relaxed);
  job.restartFrame = restartFrame_;
  job.configSerial = configSerial_;
  job.tempoPercent = tempoPercent_;
  job.rateHz = rateHz_;
  job.pitchSemitones = pitchSemitones_;
  if (job.generation != renderGeneration_ || job.configSerial != renderConfig_) {
    job.equaliser = source_.equaliser();
    job.clarity = source_.clarity();
  }
  return job;
}

TempoStream::Outcome TempoStream::render(const Job &job) {
  Outcome outcome;
  if (job.generation != renderGeneration_)
    applyRestart(job);
  else if (job.configSerial != renderConfig_)
    applyConfig(job);
  AudioBlock *block = ring_.beginWrite();
  if (!block)
    return outcome;
  while ((rendered_.size() - renderedRead_) / 2 < static_cast<size_t>(AudioBlock::kFrames) && !flushed_)
    pump(outcome);
  const double sourceStart = baseFrame_ + static_cast<double>(outputSinceBase_) * sourcePerOutputFrame_;
  const int frames = takeRendered(*block);
  if (frames == 0) {
    renderTailDone_ = flushed_;
    outcome.tailDone = renderTailDone_;
    return outcome;
  }
  block->generation = job.generation;
  block->frames = frames;
  block->sourcePerFrame = sourcePerOutputFrame_;
  block->sourceStart = sourceStart;
  ring_.commitWrite();
  outcome.frames = frames;
  return outcome;
}

void TempoStream::commit(const Job &job, const Outcome &outcome) {
  if (job.generation != generation_.load(std::memory_order_relaxed))
    return; // rendered for a place that was left meanwhile: dropped unheard
  if (outcome.tailDone) {
    tailDone_ = true;
    tailGeneration_.store(job.generation, std::memory_order_release);
  }
  if (outcome.sourceEnded && source_.active())
    endPending_ = true;
}

bool TempoStream::takeHeardEnd() {
  if (!endPending_ || !finished())
    return false;
  endPending_ = false;
  source_.markEnded();
  return true;
}

int TempoStream::renderBlock() {
  if (!wantsAudio())
    return 0;
  const Job job = takeJob();
  const Outcome outcome = render(job);
  commit(job, outcome);
  return outcome.frames;
}

void TempoStream::applyRestart(const Job &job) {
  renderGeneration_ = job.generation;
  restartHead_ = ring_.written();
  stretch_->clear();
  rendered_.clear();
  renderedRead_ = 0;
  flushed_ = false;
  renderTailDone_ = false;
  baseFrame_ = static_cast<double>(job.restartFrame);
  outputSinceBase_ = 0;
  applyConfig(job);
  source_.seekDecoder(job.restartFrame);
  // A module lands on a row boundary rather than the frame asked for.
  baseFrame_ = static_cast<double>(source_.readFrame());
}

void TempoStream::applyConfig(const Job &job) {
  // Positions go on from where the previous shape left them.
  baseFrame_ += static_cast<double>(outputSinceBase_) * sourcePerOutputFrame_;
  outputSinceBase_ = 0;
  renderConfig_ = job.configSerial;
  renderTempo_ = job.tempoPercent;
  renderPitch_ = job.pitchSemitones;
  renderRate_ = job.rateHz;
  const double tempo = 1 + job.tempoPercent / 100.0;
  stretch_->setTempo(tempo);
  stretch_->setPitchSemiTones(job.pitchSemitones);
  // Without a pitch shift SoundTouch's transposer runs at a rate of exactly 1, where its
  // anti-alias filter (a quarter of the chain's CPU at 2.0x) passes everything below the Nyquist
  // frequency as it is: it only runs where it filters.
  stretch_->setSetting(SETTING_USE_AA_FILTER, job.pitchSemitones != 0 ? 1 : 0);
  resampler_.configure(job.rateHz, deviceRate_, source_.channels());
  sourcePerOutputFrame_ = tempo * job.rateHz / deviceRate_;
  if (job.equaliser)
    source_.adoptEqualiser(*job.equaliser);
  if (job.clarity)
    source_.adoptClarity(*job.clarity);
}

bool TempoStream::bypassesStretch() const {
  return renderTempo_ == 0 && renderPitch_ == 0;
}

bool TempoStream::pump(Outcome &outcome) {
  // About two blocks' worth: a slow recording must not turn one read into minutes of output.
  const double wanted = std::ceil(2.0 * AudioBlock::kFrames * sourcePerOutputFrame_);
  const auto chunk = std::max<int64_t>(static_cast<int64_t>(std::clamp(wanted, 64.0, double(kSourceChunk))),
                                       source_.frameQuantum());
  const int64_t got = source_.pull(input_.data(), chunk);
  if (got > 0) {
    if (bypassesStretch()) {
      toDeviceRate(input_.data(), static_cast<int>(got));
    } else {
      stretch_->putSamples(input_.data(), static_cast<unsigned>(got));
      drainStretch();
    }
    return true;
  }
  outcome.sourceEnded = true;
  if (!bypassesStretch()) {
    stretch_->flush();
    drainStretch();
  }
  resampled_.clear();
  resampler_.flush(resampled_);
  toDeviceRate(nullptr, 0);
  flushed_ = true;
  return false;
}

void TempoStream::drainStretch() {
  unsigned got;
  while ((got = stretch_->receiveSamples(stretched_.data(), kSourceChunk)) > 0)
    toDeviceRate(stretched_.data(), static_cast<int>(got));
}

// Resamples (in == nullptr: only what resampled_ holds already) and widens mono to stereo.
void TempoStream::toDeviceRate(const float *in, int frames) {
  if (in) {
    resampled_.clear();
    resampler_.process(in, frames, resampled_);
  }
  if (rendered_.size() == renderedRead_) {
    rendered_.clear();
    renderedRead_ = 0;
  }
  if (source_.channels() == 2) {
    rendered_.insert(rendered_.end(), resampled_.begin(), resampled_.end());
  } else {
    const size_t start = rendered_.size();
    rendered_.resize(start + 2 * resampled_.size());
    float *out = rendered_.data() + start;
    for (size_t i = 0; i < resampled_.size(); ++i)
      out[2 * i] = out[2 * i + 1] = resampled_[i];
  }
  resampled_.clear();
}

int TempoStream::takeRendered(AudioBlock &block) {
  const size_t available = (rendered_.size() - renderedRead_) / 2;
  int frames = static_cast<int>(std::min<size_t>(available, AudioBlock::kFrames));
  if (flushed_) {
    // The flush pads with silence; nothing is rendered beyond the end of the source.
    const auto total =
        static_cast<int64_t>(std::ceil((source_.readFrame() - baseFrame_) / sourcePerOutputFrame_ - 1e-9));
    frames = static_cast<int>(std::clamp<int64_t>(total - outputSinceBase_, 0, frames));
  }
  if (frames > 0)
    std::memcpy(block.samples, rendered_.data() + renderedRead_, sizeof(float) * 2 * frames);
  renderedRead_ += 2 * static_cast<size_t>(frames);
  outputSinceBase_ += frames;
  if (flushed_ && frames < AudioBlock::kFrames)
    renderedRead_ = rendered_.size(); // the padding
  if (renderedRead_ == rendered_.size()) {
    rendered_.clear();
    renderedRead_ = 0;
  }
  return frames;
}

// --- consume

AudioFeed::Rendered TempoStream::consume(float *stereo, int frames, int64_t unheard, bool padded) {
  AudioFeed::Rendered rendered;
  const uint32_t generation = generation_.load(std::memory_order_acquire);
  if (consumeGeneration_.load(std::memory_order_relaxed) != generation) {
    consumeGeneration_.store(generation, std::memory_order_release);
    spanCount_ = 0;
    endHandedAt_ = -1;
    rendered.restarted = true;
  }
  // Read before the ring: once the tail is in, an empty ring means all of it was handed over.
  const bool tailInRing = tailGeneration_.load(std::memory_order_acquire) == generation;
  int done = 0;
  while (done < frames) {
    AudioBlock *block = ring_.front();
    if (!block)
      break;
    if (block->generation != generation) {
      if (static_cast<int32_t>(block->generation - generation) > 0)
        break; // rendered for a restart that this call has not seen yet
      ring_.pop();
      readOffset_ = 0;
      continue;
    }
    if (startedGeneration_ != generation) {
      startedGeneration_ = generation;
      const auto now = std::chrono::steady_clock::now().time_since_epoch();
      startNanoseconds_.store(std::chrono::duration_cast<std::chrono::nanoseconds>(now).count(),
                              std::memory_order_relaxed);
      startGeneration_.store(generation, std::memory_order_release);
    }
    const int n = std::min(frames - done, block->frames - readOffset_);
    std::memcpy(stereo + 2 * done, block->samples + 2 * readOffset_, sizeof(float) * 2 * n);
    handOver(*block, handed_ + done, n);
    readOffset_ += n;
    done += n;
    if (readOffset_ == block->frames) {
      ring_.pop();
      readOffset_ = 0;
    }
  }
  if (tailInRing && endHandedAt_ < 0 && !ring_.front())
    endHandedAt_ = handed_ + done;
  applyVolume(stereo, done);
  spectrum_.push(stereo, done); // what is heard: after the volume
  std::fill(stereo + 2 * done, stereo + 2 * frames, 0.0f);
  handed_ += padded ? frames : done;
  publishHeard(generation, handed_ - unheard);
  rendered.leading = done;
  rendered.ended = endHandedAt_ >= 0;
  return rendered;
}

// Keeps where the piece handed over at `at` came from, joined to the span before when it goes on
// from it.
void TempoStream::handOver(const AudioBlock &block, int64_t at, int frames) {
  const double start = block.sourceStart + readOffset_ * block.sourcePerFrame;
  if (spanCount_ > 0) {
    HandedSpan &last = spans_[(spanCount_ - 1) % spans_.size()];
    const bool goesOn = last.at + last.frames == at && last.sourcePerFrame == block.sourcePerFrame &&
                        std::abs(last.sourceStart + last.frames * last.sourcePerFrame - start) < 1e-3;
    if (goesOn) {
      last.frames += frames;
      return;
    }
  }
  spans_[spanCount_++ % spans_.size()] = {at, frames, start, block.sourcePerFrame};
}

// `heardAt` counts the frames handed over that have been heard by now.
void TempoStream::publishHeard(uint32_t generation, int64_t heardAt) {
  if (endHandedAt_ >= 0 && heardAt >= endHandedAt_)
    heardEnd_.store(generation, std::memory_order_release);
  const size_t oldest = spanCount_ > spans_.size() ? spanCount_ - spans_.size() : 0;
  for (size_t i = spanCount_; i > oldest; --i) {
    const HandedSpan &span = spans_[(i - 1) % spans_.size()];
    if (span.at > heardAt)
      continue;
    const double frame = span.sourceStart + static_cast<double>(std::min<int64_t>(heardAt - span.at, span.frames)) *
                                                span.sourcePerFrame;
    const uint64_t whole = static_cast<uint64_t>(std::max(0.0, std::floor(frame + 0.5)));
    heard_.store((uint64_t(generation & 0xFFFF) << 48) | (whole & kHeardFrameMask), std::memory_order_release);
    return;
  }
  // Nothing of this generation has been heard yet: the restart's frame stands.
}

void TempoStream::applyVolume(float *stereo, int frames) const {
  const float left = leftGain_.load(std::memory_order_relaxed);
  const float right = rightGain_.load(std::memory_order_relaxed);
  if (left == 1.0f && right == 1.0f)
    return;
  for (int i = 0; i < frames; ++i) {
    stereo[2 * i] *= left;
    stereo[2 * i + 1] *= right;
  }
}

int64_t TempoStream::lastStartNanoseconds(uint32_t &generation) const {
  generation = startGeneration_.load(std::memory_order_acquire);
  return startNanoseconds_.load(std::memory_order_relaxed);
}

} // namespace lyt
