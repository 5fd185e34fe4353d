#include "dsp/Clarity.h"

#include <algorithm>
#include <cmath>
#include <optional>

namespace lyt {
namespace {

constexpr double kFrameSeconds = 0.01; // about 10 ms, as speech processing likes it
constexpr int kLeastFrameSize = 32;
constexpr int kMostFrameSize = 1024; // the render side's chunk

// A power of two: the noise reduction's transforms are fastest at twice that.
int frameSizeAt(int sampleRate) {
  const double exponent = std::round(std::log2(std::max(1.0, sampleRate * kFrameSeconds)));
  return std::clamp(1 << static_cast<int>(exponent), kLeastFrameSize, kMostFrameSize);
}

} // namespace

Clarity::Clarity(int sampleRate, int channels)
    : sampleRate_(sampleRate), channels_(channels), frameSize_(frameSizeAt(sampleRate)) {}

Clarity::~Clarity() = default;

// The processors keep what they learnt of the recording (its noise, its speakers) while they stay on.
void Clarity::configure(const ClarityConfig &config) {
  config_ = config;
  if (!config.denoise)
    noise_.reset();
  else if (!noise_)
    noise_ = std::make_unique<NoiseReduction>(sampleRate_, channels_, frameSize_);
  if (!config.level)
    level_.reset();
  else if (!level_)
    level_ = std::make_unique<LevelControl>(sampleRate_, frameSize_);
}

void Clarity::process(float *interleaved, int64_t frames) {
  if (!config_.any())
    return;
  chooseChannel(interleaved, frames);
  for (int64_t done = 0; done < frames; done += frameSize_) {
    const int n = static_cast<int>(std::min<int64_t>(frameSize_, frames - done));
    float *frame = interleaved + done * channels_;
    std::optional<bool> speech;
    if (noise_) {
      noise_->process(frame, n);
      speech = noise_->heardSpeech();
    }
    if (level_)
      level_->process(frame, n, channels_, speech);
  }
}

// The chosen channel, heard on both ears.
void Clarity::chooseChannel(float *interleaved, int64_t frames) const {
  if (channels_ != 2 || config_.channel == ChannelChoice::Both)
    return;
  const int from = config_.channel == ChannelChoice::Left ? 0 : 1;
  for (int64_t i = 0; i < frames; ++i)
    interleaved[2 * i] = interleaved[2 * i + 1] = interleaved[2 * i + from];
}

} // namespace lyt
