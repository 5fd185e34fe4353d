// Rendering ahead, restarting, and handing the rendered audio to the device.
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
    : source_(source), deviceRate_(deviceRate), stretch_(std::make_unique<soundtouch::SoundTouch>()),
      rateHz_(source.sampleRate()), scratch_(kSourceChunk * 2) {
  stretch_->setChannels(2);
  stretch_->setSampleRate(source.sampleRate());
  configureStretch();
  restartFrame_ = source.readFrame();
}

TempoStream::~TempoStream() = default;

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
    restartAt(std::min(heardFrame(), source_.lengthFrames()));
  else
    discardRendered();
}

void TempoStream::restartAt(int64_t frame) {
  // An output whose source ended has fallen silent: a new position alone does not wake it.
  if (finished())
    playing_ = false;
  source_.seek(frame);
  discardRendered();
  restartFrame_ = source_.readFrame();
}

void TempoStream::soundChanged() {
  configureStretch();
  // Nothing is rendered ahead while stopped.
  if (playing_ && source_.active())
    restartAt(std::min(heardFrame(), source_.lengthFrames()));
}

void TempoStream::discardRendered() {
  const int64_t heard = heardFrame();
  restartHead_ = ring_.written();
  generation_.fetch_add(1, std::memory_order_acq_rel);
  stretch_->clear();
  restartFrame_ = heard;
  outputSinceRestart_ = 0;
  flushed_ = false;
  tailDone_ = false;
}

int64_t TempoStream::heardFrame() const {
  const uint64_t heard = heard_.load(std::memory_order_acquire);
  const uint32_t current = generation_.load(std::memory_order_acquire);
  if ((heard >> 48) != (current & 0xFFFF))
    return restartFrame_;
  return static_cast<int64_t>(heard & kHeardFrameMask);
}

bool TempoStream::bypassesStretch() const {
  return tempoPercent_ == 0 && pitchSemitones_ == 0 && rateHz_ == deviceRate_;
}

void TempoStream::configureStretch() {
  const double tempo = 1 + tempoPercent_ / 100.0;
  const double rate = static_cast<double>(rateHz_) / deviceRate_;
  stretch_->setTempo(tempo);
  stretch_->setRate(rate);
  stretch_->setPitchSemiTones(pitchSemitones_);
  sourcePerOutputFrame_ = tempo * rate;
}

void TempoStream::setTargetFrames(int frames) {
  targetBlocks_ = std::clamp<int>((frames + AudioBlock::kFrames - 1) / AudioBlock::kFrames, 2,
                                  static_cast<int>(ring_.capacity()) - 2);
}

bool TempoStream::wantsAudio() const {
  if (!playing_ || tailDone_)
    return false;
  // Blocks written before the last restart are dropped unheard; they do not count as ahead.
  const size_t ahead = ring_.written() - std::max(ring_.taken(), restartHead_);
  if (ahead >= static_cast<size_t>(targetBlocks_))
    return false;
  return source_.active() || source_.ended();
}

int TempoStream::renderBlock() {
  AudioBlock *block = ring_.beginWrite();
  if (!block)
    return 0;
  const int frames = bypassesStretch() ? renderDirect(*block) : renderStretched(*block);
  if (frames <= 0) {
    tailDone_ = source_.ended();
    return 0;
  }
  block->generation = generation_.load(std::memory_order_relaxed);
  block->frames = frames;
  block->sourcePerFrame = sourcePerOutputFrame_;
  block->sourceStart = restartFrame_ + outputSinceRestart_ * sourcePerOutputFrame_;
  outputSinceRestart_ += frames;
  ring_.commitWrite();
  return frames;
}

int TempoStream::renderDirect(AudioBlock &block) {
  return static_cast<int>(source_.pullStereo(block.samples, AudioBlock::kFrames));
}

int TempoStream::renderStretched(AudioBlock &block) {
  while (stretch_->numSamples() < static_cast<unsigned>(AudioBlock::kFrames) && !flushed_) {
    const int64_t got = source_.pullStereo(scratch_.data(), kSourceChunk);
    if (got > 0) {
      stretch_->putSamples(scratch_.data(), static_cast<unsigned>(got));
    } else if (source_.ended()) {
      stretch_->flush();
      flushed_ = true;
    } else {
      break; // stopped source: nothing to render until it is given a position
    }
  }
  int frames = static_cast<int>(stretch_->receiveSamples(block.samples, AudioBlock::kFrames));
  if (flushed_) {
    // The flush pads with silence; nothing is rendered beyond the end of the source.
    const int64_t total =
        static_cast<int64_t>(std::ceil((source_.readFrame() - restartFrame_) / sourcePerOutputFrame_));
    frames = static_cast<int>(std::clamp<int64_t>(total - outputSinceRestart_, 0, frames));
  }
  return frames;
}

int TempoStream::consume(float *stereo, int frames) {
  const uint32_t generation = generation_.load(std::memory_order_acquire);
  int done = 0;
  while (done < frames) {
    AudioBlock *block = ring_.front();
    if (!block)
      break;
    if (block->generation != generation) {
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
    readOffset_ += n;
    done += n;
    publishHeard(generation, block->sourceStart + readOffset_ * block->sourcePerFrame);
    if (readOffset_ == block->frames) {
      ring_.pop();
      readOffset_ = 0;
    }
  }
  spectrum_.push(stereo, done);
  applyVolume(stereo, done);
  std::fill(stereo + 2 * done, stereo + 2 * frames, 0.0f);
  return done;
}

void TempoStream::publishHeard(uint32_t generation, double frame) {
  const uint64_t whole = static_cast<uint64_t>(std::max(0.0, std::floor(frame + 0.5)));
  heard_.store((uint64_t(generation & 0xFFFF) << 48) | (whole & kHeardFrameMask), std::memory_order_release);
}

void TempoStream::applyVolume(float *stereo, int frames) const {
  const float left = leftGain_.load(std::memory_order_relaxed);
  const float right = rightGain_.load(std::memory_order_relaxed);
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
