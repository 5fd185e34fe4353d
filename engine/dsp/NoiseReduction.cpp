#include "dsp/NoiseReduction.h"

#include <algorithm>
#include <cmath>

namespace lyt {
namespace {

// How deep the gain goes in a band of noise alone. The gate below takes the pauses deeper still.
constexpr float kLeastGain = 0.1f; // -20 dB
// The weight of the block before in a band's speech-to-noise ratio: more smooths the leftover noise,
// less keeps the starts of words.
constexpr float kKeepSpeech = 0.95f;
// Under the lowest voice there is only rumble (traffic, a fan's motor, handling).
constexpr double kLowestVoiceHz = 80;
// The pause gate: closes to this gain where a block's speech is this far under its noise...
constexpr float kPauseGain = 0.25f;
constexpr float kSpeechToNoiseInPauses = 0.5f;
// ...this quickly.
constexpr double kPauseClosingSeconds = 0.05;

// Square-root Hann: analysed and resynthesised with it, blocks overlapping by half add up to the input.
std::vector<float> rootHann(int size, double scale) {
  std::vector<float> window(static_cast<size_t>(size));
  for (int i = 0; i < size; ++i)
    window[static_cast<size_t>(i)] = static_cast<float>(scale * std::sin(M_PI * (i + 0.5) / size));
  return window;
}

float sum(const float *values, size_t n) {
  constexpr size_t kLanes = 8; // independent sums: the additions need not wait on each other
  float lanes[kLanes] = {};
  size_t i = 0;
  for (; i + kLanes <= n; i += kLanes)
    for (size_t lane = 0; lane < kLanes; ++lane)
      lanes[lane] += values[i + lane];
  float total = 0;
  for (; i < n; ++i)
    total += values[i];
  for (float lane : lanes)
    total += lane;
  return total;
}

} // namespace

NoiseReduction::NoiseReduction(int sampleRate, int channels, int frameSize)
    : channels_(channels), frameSize_(frameSize),
      rumbleBins_(static_cast<size_t>(std::ceil(kLowestVoiceHz * 2 * frameSize / sampleRate))),
      pauseClosing_(static_cast<float>(1 - std::exp(-double(frameSize) / sampleRate / kPauseClosingSeconds))),
      fft_(2 * frameSize), analysis_(rootHann(2 * frameSize, 1)), synthesis_(rootHann(2 * frameSize, 0.5 / frameSize)),
      power_(static_cast<size_t>(fft_.bins())), gains_(static_cast<size_t>(fft_.bins())) {
  const auto hop = static_cast<size_t>(frameSize);
  for (int c = 0; c < channels; ++c)
    perChannel_.push_back({std::vector<float>(hop), std::vector<float>(hop), std::vector<float>(hop),
                           NoiseEstimate(fft_.bins(), double(frameSize) / sampleRate),
                           std::vector<float>(static_cast<size_t>(fft_.bins()))});
}

// A short last frame is padded with silence, and only its own samples are kept.
void NoiseReduction::process(float *interleaved, int frames) {
  heardSpeech_ = false;
  for (int c = 0; c < channels_; ++c) {
    Channel &channel = perChannel_[static_cast<size_t>(c)];
    channel.earlier.swap(channel.later);
    if (frames < frameSize_)
      std::fill(channel.later.begin() + frames, channel.later.end(), 0.0f);
    for (int i = 0; i < frames; ++i)
      channel.later[static_cast<size_t>(i)] = interleaved[i * channels_ + c];
    clean(channel);
    for (int i = 0; i < frames; ++i)
      interleaved[i * channels_ + c] = fft_.time()[i];
  }
}

// The channel's last two frames, cleaned, into the first frameSize_ samples of fft_.time().
void NoiseReduction::clean(Channel &channel) {
  const size_t size = 2 * static_cast<size_t>(frameSize_), hop = size / 2;
  float *time = fft_.time();
  for (size_t i = 0; i < hop; ++i) {
    time[i] = channel.earlier[i] * analysis_[i];
    time[hop + i] = channel.later[i] * analysis_[hop + i];
  }
  fft_.forward();
  const float gate = pauseGain(channel, wienerGains(channel));
  std::complex<float> *spectrum = fft_.spectrum();
  for (size_t k = 0; k < gains_.size(); ++k)
    spectrum[k] *= gains_[k] * gate;
  fft_.inverse();
  for (size_t i = 0; i < hop; ++i) {
    const float early = channel.overlap[i] + time[i] * synthesis_[i];
    channel.overlap[i] = time[hop + i] * synthesis_[hop + i];
    time[i] = early;
  }
}

float NoiseReduction::wienerGains(Channel &channel) {
  const std::complex<float> *spectrum = fft_.spectrum();
  const size_t bins = gains_.size();
  for (size_t k = 0; k < bins; ++k)
    power_[k] = std::norm(spectrum[k]);
  channel.noise.update(power_.data());
  const float *noise = channel.noise.power(), *power = power_.data();
  float *speech = channel.speechPower.data(), *gains = gains_.data();
  for (size_t k = 0; k < bins; ++k) {
    const float perNoise = 1 / noise[k];
    const float fresh = power[k] * perNoise - 1;
    const float snr = kKeepSpeech * speech[k] * perNoise + (1 - kKeepSpeech) * (fresh > 0 ? fresh : 0);
    const float wiener = snr / (1 + snr);
    gains[k] = wiener > kLeastGain ? wiener : kLeastGain;
    speech[k] = gains[k] * gains[k] * power[k];
  }
  const size_t rumble = std::min(rumbleBins_, bins);
  std::fill(gains_.begin(), gains_.begin() + long(rumble), kLeastGain);
  return sum(speech + rumble, bins - rumble) / sum(noise + rumble, bins - rumble);
}

// Opens at once on speech, so no word loses its start.
float NoiseReduction::pauseGain(Channel &channel, float speechToNoise) {
  const bool speech = speechToNoise > kSpeechToNoiseInPauses;
  heardSpeech_ = heardSpeech_ || speech;
  if (speech)
    channel.pauseGain = 1;
  else
    channel.pauseGain += (kPauseGain - channel.pauseGain) * pauseClosing_;
  return channel.pauseGain;
}

} // namespace lyt
