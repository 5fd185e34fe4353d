// libopenmpt behind the Decoder interface.
#include "decoders/OpenmptDecoder.h"

#include "Bass.h"

#include <libopenmpt/libopenmpt.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

namespace lyt {
namespace {

struct ModuleCloser {
  void operator()(openmpt_module *m) const { openmpt_module_destroy(m); }
};
struct FileCloser {
  void operator()(std::FILE *f) const { std::fclose(f); }
};

// Modules are small; anything larger is some other kind of file and is not read whole.
constexpr long kMaxModuleBytes = 64L * 1024 * 1024;
// A module's length is told in 32 bits of 16-bit stereo bytes (about 6.8 hours at 44.1 kHz): a
// damaged module that claims more plays as far as the length it can tell, and no further.
constexpr int64_t kMaxModuleFrames = 0xFFFFFFFEu / (2 * 2);

std::vector<char> readModuleFile(const char *path) {
  std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path, "rb"));
  if (!file)
    throw EngineError(BASS_ERROR_FILEOPEN);
  if (std::fseek(file.get(), 0, SEEK_END) != 0)
    throw EngineError(BASS_ERROR_FILEOPEN);
  const long size = std::ftell(file.get());
  if (size <= 0 || size > kMaxModuleBytes)
    throw EngineError(BASS_ERROR_FILEFORM);
  std::vector<char> bytes(static_cast<size_t>(size));
  std::rewind(file.get());
  if (std::fread(bytes.data(), 1, bytes.size(), file.get()) != bytes.size())
    throw EngineError(BASS_ERROR_FILEOPEN);
  return bytes;
}

class OpenmptDecoder final : public Decoder {
public:
  OpenmptDecoder(std::unique_ptr<openmpt_module, ModuleCloser> module, int rate)
      : module_(std::move(module)), rate_(rate),
        length_(std::min<int64_t>(std::llround(openmpt_module_get_duration_seconds(module_.get()) * rate),
                                  kMaxModuleFrames)) {}

  int channels() const override { return 2; }
  int sampleRate() const override { return rate_; }
  int64_t lengthFrames() const override { return length_; }

  // libopenmpt renders a little past the duration it reports; the reported length is the end.
  int64_t read(float *out, int64_t frames) override {
    frames = std::min(frames, length_ - position_);
    int64_t done = 0;
    while (done < frames) {
      const size_t chunk = static_cast<size_t>(std::min<int64_t>(frames - done, 4096));
      const size_t got =
          openmpt_module_read_interleaved_float_stereo(module_.get(), rate_, chunk, out + 2 * done);
      done += static_cast<int64_t>(got);
      if (got < chunk)
        break;
    }
    position_ += done;
    return done;
  }

  // Modules seek by rows: the position is where libopenmpt landed, not the one asked for.
  int64_t seek(int64_t frame) override {
    const double landed =
        openmpt_module_set_position_seconds(module_.get(), static_cast<double>(frame) / rate_);
    position_ = std::clamp<int64_t>(std::llround(landed * rate_), 0, length_);
    return position_;
  }

private:
  std::unique_ptr<openmpt_module, ModuleCloser> module_;
  int rate_;
  int64_t length_;
  int64_t position_ = 0;
};

} // namespace

std::unique_ptr<Decoder> openOpenmptDecoder(const char *path, int rate) {
  const std::vector<char> bytes = readModuleFile(path);
  const int probe = openmpt_probe_file_header(OPENMPT_PROBE_FILE_HEADER_FLAGS_DEFAULT, bytes.data(),
                                              bytes.size(), bytes.size(), openmpt_log_func_silent, nullptr,
                                              nullptr, nullptr, nullptr, nullptr);
  if (probe != OPENMPT_PROBE_FILE_HEADER_RESULT_SUCCESS)
    throw EngineError(BASS_ERROR_FILEFORM);
  std::unique_ptr<openmpt_module, ModuleCloser> module(
      openmpt_module_create_from_memory2(bytes.data(), bytes.size(), openmpt_log_func_silent, nullptr,
                                         nullptr, nullptr, nullptr, nullptr, nullptr));
  if (!module)
    throw EngineError(BASS_ERROR_FILEFORM);
  openmpt_module_set_repeat_count(module.get(), 0);
  return std::make_unique<OpenmptDecoder>(std::move(module), rate);
}

} // namespace lyt
