// A recording's envelope and its pauses of speech, worked out on a thread of its own and kept in a
// cache folder so that the next opening of the same file has them at once.
//
// Contract:
// - The constructor returns at once; a worker thread then reads the cache file or decodes the
//   recording with the engine's decoders at the file's own rate (no tempo, no resampling).
// - Every public call may come from any thread and never waits for the worker, which publishes
//   without a lock: the envelope a second at a time, the pauses once, when all is Ready.
// - The destructor cancels the work and joins the thread; it waits for one decoded block or one
//   block of the cache file, or, while the file is being opened, for the open (an MP3's frames
//   are counted then: about 0.1 s for three hours).
// - The worker runs at a lower priority (nice 10) than the thread that made it.
// - Times are seconds of the recording from its start, whatever the tempo.
// No Qt here: the caller hands in the cache folder.
// A classic guard, not #pragma once: the build also shows this file to its users as a copy.
#ifndef LYT_RECORDING_ANALYSIS_H
#define LYT_RECORDING_ANALYSIS_H

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace lyt {

// One step of the envelope: the lowest and the highest sample over all channels (full scale
// 32767; never above 0 and below 0 respectively) and the RMS level of all its samples (full
// scale 1.0).
struct EnvelopeStep {
  int16_t low = 0;
  int16_t high = 0;
  float rms = 0.0f;
};

// A pause of speech, at least RecordingAnalysis::kMinPauseSeconds long; the end is where the
// next phrase starts.
struct Pause {
  double startSeconds = 0;
  double endSeconds = 0;
};

class RecordingAnalysis {
public:
  static constexpr double kStepSeconds = 0.01;
  static constexpr double kMinPauseSeconds = 0.25;

  enum class State {
    Running, // the envelope is filling in; pauses are not known yet
    Ready,   // envelope and pauses are complete
    Failed,  // the file could not be decoded; nothing will come
  };

  // `cacheDir` empty: no cache is read or written. The folder is made when needed.
  RecordingAnalysis(const std::string &path, const std::string &cacheDir);
  // Cancels the analysis and waits for its thread.
  ~RecordingAnalysis();
  // Cancels the analysis and returns at once; its thread is waited for in the background. For
  // the window's thread, which should not wait on a background thread that a busy machine may
  // run only now and then.
  static void discard(std::unique_ptr<RecordingAnalysis> analysis);
  RecordingAnalysis(const RecordingAnalysis &) = delete;
  RecordingAnalysis &operator=(const RecordingAnalysis &) = delete;

  State state() const;
  // The results came from the cache file rather than from decoding.
  bool fromCache() const;
  // The recording's length; 0 until the file has been opened.
  double lengthSeconds() const;
  // How far the envelope reaches: stepCount() * kStepSeconds.
  double analysedSeconds() const;
  size_t stepCount() const;

  // The envelope from `startSeconds` to `endSeconds` reduced to `columns` columns: per column the
  // lowest low, the highest high and the highest RMS of its steps. Columns beyond what has been
  // analysed so far are silent (all zero); while it fills in, columns wider than a second may
  // trail the analysed part by up to ten seconds (they are summed from coarser levels).
  std::vector<EnvelopeStep> columns(double startSeconds, double endSeconds, int columns) const;

  // The pauses that overlap `fromSeconds`..`toSeconds` (a pause that contains a single place is
  // found with from = to), in order. Empty until Ready.
  std::vector<Pause> pauses(double fromSeconds, double toSeconds) const;
  // The start of the phrase at or before `seconds`: the end of the latest pause that ends at or
  // before it, or 0 when none does. Nothing until Ready.
  std::optional<double> phraseStartAtOrBefore(double seconds) const;
  // The start of the first phrase after `seconds`: the end of the first pause that ends after it.
  // Nothing until Ready, nor when no phrase follows (a pause that runs to the end starts none).
  std::optional<double> nextPhraseStart(double seconds) const;

private:
  struct Shared;
  std::shared_ptr<Shared> shared_;
  class Worker;
  std::unique_ptr<Worker> worker_;
};

} // namespace lyt

#endif
