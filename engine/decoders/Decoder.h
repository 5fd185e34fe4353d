// A file's audio as float frames at the file's own rate: the interface the three decoders share.
#pragma once

#include <cstdint>
#include <memory>
#include <stdexcept>

namespace lyt {

// A failure that the facade turns into an engine error code.
class EngineError : public std::runtime_error {
public:
  explicit EngineError(int code) : std::runtime_error("engine error"), code_(code) {}
  int code() const { return code_; }

private:
  int code_;
};

// Throws EngineError(BASS_ERROR_FILEOPEN) unless the file is a regular file that can be opened
// for reading. Never blocks (a named pipe is refused, not opened).
void requireReadable(const char *path);

// Throws EngineError(BASS_ERROR_FILEFORM) for rates outside 1,000..768,000 Hz and for more than
// eight channels: no recording has them, and the chain is not built for them.
void requireSupportedFormat(int sampleRate, int channels);

// Single-threaded: the owner serialises every call, but for the three about the length, which any
// thread may call at any time.
class Decoder {
public:
  virtual ~Decoder() = default;
  // 1 or 2; a decoder mixes anything wider down to two.
  virtual int channels() const = 0;
  virtual int sampleRate() const = 0;
  // The exact number of frames that reading from 0 to the end yields (as far as the format lets
  // it be known without decoding everything).
  virtual int64_t lengthFrames() const = 0;
  // False while lengthFrames() is an estimate: a long stream opens from its first frames and an
  // engine thread finds the exact length meanwhile. It then changes once, and this turns true.
  // Before, reads and seeks go on past the estimate as far as the stream goes.
  virtual bool lengthExact() const { return true; }
  // Returns once lengthExact(); any thread but the owner's.
  virtual void awaitExactLength() {}
  // Reads up to `frames` frames into `out` (channels() floats each). Returns the count; 0 at the end.
  virtual int64_t read(float *out, int64_t frames) = 0;
  // Moves the next read to `frame` (0 .. lengthFrames()) and returns where it starts: `frame`
  // itself, or for a decoder that can only land near it, the frame where it landed. -1 when the
  // decoder cannot get there. Before the length is exact, a frame past the estimate is reached
  // (the seek waits for the stream to be walked there) or lands at the stream's end.
  virtual int64_t seek(int64_t frame) = 0;
};

} // namespace lyt
