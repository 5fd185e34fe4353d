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

// Throws EngineError(BASS_ERROR_FILEOPEN) unless the file can be opened for reading.
void requireReadable(const char *path);

// Single-threaded: the owner serialises every call.
class Decoder {
public:
  virtual ~Decoder() = default;
  // 1 or 2; a decoder mixes anything wider down to two.
  virtual int channels() const = 0;
  virtual int sampleRate() const = 0;
  // The exact number of frames that reading from 0 to the end yields (as far as the format lets
  // it be known without decoding everything).
  virtual int64_t lengthFrames() const = 0;
  // Reads up to `frames` frames into `out` (channels() floats each). Returns the count; 0 at the end.
  virtual int64_t read(float *out, int64_t frames) = 0;
  // The next read starts at `frame` (0 .. lengthFrames()). False when the decoder cannot get there.
  virtual bool seek(int64_t frame) = 0;
};

} // namespace lyt
