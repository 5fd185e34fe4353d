// Automatic level for speech: a quiet speaker is brought up to a loud one within a few hundred
// milliseconds of their turn. The gain follows the level of speech only: in the pauses, where the
// level falls to the recording's noise floor, a boost falls away, so the noise is not pumped up.
// A per-sample ceiling keeps every sample below full scale.
#pragma once

#include <cstdint>
#include <optional>

namespace lyt {

class LevelControl {
public:
  LevelControl(int sampleRate, int frameSize);

  // One frame of `frames` interleaved frames of `channels` samples, in place. `speech`, where
  // given, says whether the frame holds speech in place of the level's own guess from the noise
  // floor: after noise reduction the pauses flicker far below the words, and their quietest
  // frames would set a floor that the rest of a pause stands well above.
  void process(float *interleaved, int frames, int channels, std::optional<bool> speech = std::nullopt);
  double gainDb() const;

private:
  bool isSpeech(double levelDb);

  const double frameSeconds_;
  double noiseFloorDb_ = -60; // follows the quietest frames: falls at once, rises slowly
  double speechDb_ = -20;     // the recent level of speech
  double gain_ = 1;           // linear, at the end of the last frame
};

} // namespace lyt
