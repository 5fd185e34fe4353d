// Handles, the device, and the feeder thread that renders ahead of the device.
#include "Engine.h"

#include "BackgroundThread.h"
#include "decoders/SndfileDecoder.h"
#include "decoders/ToneDecoder.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <exception>
#include <vector>

namespace lyt {
namespace {

constexpr int kOfflineChunkFrames = 8192;
// Far beyond any recording's length (a year at 768 kHz), and far from overflowing.
constexpr QWORD kFurthestFrame = QWORD(1) << 45;

bool isModuleSecondsForm(QWORD pos) {
  const QWORD high = pos >> 32;
  return (pos & 0xFFFF0000u) == 0xFFFF0000u && (high == 0 || high == 0xFFFFFFFFu);
}

} // namespace

Engine &Engine::instance() {
  static Engine engine;
  return engine;
}

Engine::~Engine() {
  shutdown();
}

void Engine::requireInit() const {
  if (!initialised_)
    throw EngineError(BASS_ERROR_INIT);
}

void Engine::init(int device, int rate) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (initialised_)
    throw EngineError(BASS_ERROR_ALREADY);
  if (device != BASS_DEVICE_NOSOUND && device != BASS_DEVICE_DEFAULT)
    throw EngineError(BASS_ERROR_DEVICE);
  if (rate < 8000 || rate > 192000)
    throw EngineError(BASS_ERROR_ILLPARAM);
  outputProblem_.clear();
  device_ = device == BASS_DEVICE_DEFAULT ? openDefaultOutput(rate, *this, outputProblem_) : openNullDevice(rate, *this);
  if (!device_)
    throw EngineError(BASS_ERROR_DRIVER);
  rate_ = rate;
  offline_ = false;
  stopping_ = false;
  initialised_ = true;
  feeder_ = std::thread(&Engine::feed, this);
  BackgroundThread::prepare();
}

void Engine::initOffline(int rate) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (initialised_)
    throw EngineError(BASS_ERROR_ALREADY);
  if (rate < 8000 || rate > 192000)
    throw EngineError(BASS_ERROR_ILLPARAM);
  rate_ = rate;
  offline_ = true;
  initialised_ = true;
}

void Engine::free() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    requireInit();
  }
  shutdown();
}

void Engine::shutdown() {
  std::thread feeder;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!initialised_)
      return;
    stopping_ = true;
    feeder.swap(feeder_);
  }
  wakeFeeder();
  if (feeder.joinable())
    feeder.join();
  std::lock_guard<std::mutex> lock(mutex_);
  sounding_.store(nullptr, std::memory_order_release);
  current_.reset();
  device_.reset();
  channels_.clear();
  outputs_.clear();
  initialised_ = false;
}

DWORD Engine::open(Kind kind, const std::string &title,
                   std::function<std::unique_ptr<Decoder>(int engineRate)> makeDecoder) {
  int rate;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    requireInit();
    rate = rate_;
  }
  // Opening may read a whole file; playback goes on meanwhile.
  std::unique_ptr<Decoder> decoder = makeDecoder(rate);
  std::lock_guard<std::mutex> lock(mutex_);
  requireInit();
  const DWORD handle = nextHandle_++;
  Channel channel;
  channel.kind = kind;
  channel.core = std::make_shared<Core>(handle, std::move(decoder), kind == Kind::Module);
  channel.core->title = title;
  channels_.emplace(handle, std::move(channel));
  return handle;
}

Engine::Channel &Engine::sourceChannel(DWORD handle) {
  requireInit();
  const auto it = channels_.find(handle);
  if (it == channels_.end())
    throw EngineError(BASS_ERROR_HANDLE);
  return it->second;
}

Engine::Channel &Engine::channelOf(DWORD handle) {
  requireInit();
  const auto output = outputs_.find(handle);
  return sourceChannel(output == outputs_.end() ? handle : output->second);
}

Engine::Channel &Engine::outputChannel(DWORD handle) {
  requireInit();
  const auto output = outputs_.find(handle);
  if (output == outputs_.end())
    throw EngineError(channels_.count(handle) ? BASS_ERROR_NOTAVAIL : BASS_ERROR_HANDLE);
  return sourceChannel(output->second);
}

Engine::Channel &Engine::tempoChannel(DWORD handle) {
  Channel &channel = channelOf(handle);
  if (!channel.core->tempo)
    throw EngineError(BASS_ERROR_HANDLE);
  return channel;
}

void Engine::freeSource(DWORD handle, Kind kind) {
  std::lock_guard<std::mutex> lock(mutex_);
  requireInit();
  const auto it = channels_.find(handle);
  if (it == channels_.end() || it->second.kind != kind)
    throw EngineError(BASS_ERROR_HANDLE);
  release(it);
}

void Engine::release(std::map<DWORD, Channel>::iterator it) {
  const std::shared_ptr<Core> core = it->second.core;
  if (current_ == core)
    makeCurrent(nullptr);
  if (core->tempo)
    outputs_.erase(it->second.output);
  channels_.erase(it);
  // Waits for a notification that is running; none starts after this.
  std::lock_guard<std::mutex> syncs(syncMutex_);
  core->notifies = false;
}

void Engine::makeCurrent(const std::shared_ptr<Core> &core) {
  if (current_ == core)
    return;
  current_ = core;
  sounding_.store(core ? core->tempo.get() : nullptr, std::memory_order_release);
  if (device_) {
    device_->barrier();
    if (core)
      device_->setTitle(core->title);
    else
      silenceDevice();
  }
  wakeFeeder();
}

// Nothing more will be heard until the next play: the sound server need not mix for us.
void Engine::silenceDevice() {
  if (device_)
    device_->pause();
}

void Engine::stopCurrent() {
  if (const std::shared_ptr<Core> previous = current_) {
    makeCurrent(nullptr);
    previous->tempo->stop();
  }
}

void Engine::wakeFeeder() {
  wakeups_.fetch_add(1, std::memory_order_release);
  wakeups_.notify_one();
}

QWORD Engine::lengthBytes(DWORD handle, Kind kind) {
  std::lock_guard<std::mutex> lock(mutex_);
  Channel &channel = sourceChannel(handle);
  if (channel.kind != kind)
    throw EngineError(BASS_ERROR_HANDLE);
  return static_cast<QWORD>(channel.core->source.lengthFrames()) * channel.core->source.bytesPerFrame();
}

bool Engine::lengthExact(DWORD handle) {
  std::lock_guard<std::mutex> lock(mutex_);
  return sourceChannel(handle).core->source.lengthExact();
}

void Engine::awaitExactLength(DWORD handle) {
  std::shared_ptr<Core> core;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    core = sourceChannel(handle).core;
  }
  core->source.awaitExactLength();
}

QWORD Engine::position(DWORD handle) {
  std::lock_guard<std::mutex> lock(mutex_);
  const Core &core = *channelOf(handle).core;
  // The heard frame is counted back from the output's rate: its rounding may land past the end.
  // A place set past an estimated length reads as the length until the exact one is known.
  const int64_t frame = core.tempo ? core.tempo->heardFrame() : core.source.position();
  return static_cast<QWORD>(std::min(frame, core.source.lengthFrames())) * core.source.bytesPerFrame();
}

// Records the target and returns; the feeder seeks. Before the length is exact, a place past the
// estimate is taken as asked: the feeder reaches it, or the end when the stream is shorter.
void Engine::setPosition(DWORD handle, QWORD bytes) {
  std::lock_guard<std::mutex> lock(mutex_);
  Channel &channel = sourceChannel(handle);
  SourceChannel &source = channel.core->source;
  const bool exact = source.lengthExact();
  int64_t frame;
  if (channel.kind == Kind::Module && isModuleSecondsForm(bytes))
    frame = static_cast<int64_t>(bytes & 0xFFFF) * source.sampleRate();
  else if (bytes / source.bytesPerFrame() > kFurthestFrame ||
           (exact && bytes > static_cast<QWORD>(source.lengthFrames()) * source.bytesPerFrame()))
    throw EngineError(BASS_ERROR_POSITION);
  else
    frame = static_cast<int64_t>(bytes / source.bytesPerFrame());
  if (exact && frame > source.lengthFrames())
    throw EngineError(BASS_ERROR_POSITION);
  if (channel.core->tempo)
    channel.core->tempo->restartAt(frame);
  else
    source.setPosition(frame);
  wakeFeeder();
}

double Engine::bytesToSeconds(DWORD handle, QWORD bytes) {
  std::lock_guard<std::mutex> lock(mutex_);
  const SourceChannel &source = channelOf(handle).core->source;
  return static_cast<double>(bytes) / source.bytesPerFrame() / source.sampleRate();
}

QWORD Engine::secondsToBytes(DWORD handle, double seconds) {
  std::lock_guard<std::mutex> lock(mutex_);
  const SourceChannel &source = channelOf(handle).core->source;
  if (!std::isfinite(seconds) || seconds < 0 || seconds > 1e9)
    throw EngineError(BASS_ERROR_ILLPARAM);
  const auto frames = static_cast<QWORD>(seconds * source.sampleRate());
  return frames * source.bytesPerFrame();
}

void Engine::play(DWORD output, bool flush) {
  std::lock_guard<std::mutex> lock(mutex_);
  const std::shared_ptr<Core> &core = outputChannel(output).core;
  if (current_ != core)
    stopCurrent();
  TempoStream &stream = *core->tempo;
  stream.setTargetFrames(device_ ? std::max(2 * device_->periodFrames(), static_cast<int>(kAheadSeconds * rate_))
                                 : static_cast<int>(AudioBlock::kFrames * 60));
  stream.play(flush);
  makeCurrent(core);
  if (device_)
    device_->resume();
  wakeFeeder();
}

void Engine::stop(DWORD handle) {
  std::lock_guard<std::mutex> lock(mutex_);
  requireInit();
  if (outputs_.count(handle)) {
    const std::shared_ptr<Core> &core = outputChannel(handle).core;
    if (current_ == core)
      makeCurrent(nullptr);
    core->tempo->stop();
  } else {
    sourceChannel(handle).core->source.stop();
  }
}

bool Engine::active(DWORD handle) {
  std::lock_guard<std::mutex> lock(mutex_);
  requireInit();
  if (outputs_.count(handle))
    return outputChannel(handle).core->tempo->playing();
  return sourceChannel(handle).core->source.active();
}

void Engine::setAttributes(DWORD handle, int freq, int volume, int pan) {
  std::lock_guard<std::mutex> lock(mutex_);
  TempoStream &stream = *outputChannel(handle).core->tempo;
  if ((freq != -1 && freq != 0 && (freq < 100 || freq > 1000000)))
    throw EngineError(BASS_ERROR_ILLPARAM);
  if (volume != -1)
    stream.setVolume(std::clamp(volume, 0, 100));
  if (pan != -101)
    stream.setPan(std::clamp(pan, -100, 100));
  if (freq != -1)
    stream.setShape(stream.tempoPercent(), freq == 0 ? stream.source().sampleRate() : freq,
                    stream.pitchSemitones());
  wakeFeeder();
}

void Engine::attributes(DWORD handle, DWORD *freq, DWORD *volume, int *pan) {
  std::lock_guard<std::mutex> lock(mutex_);
  requireInit();
  DWORD f, v = 100;
  int p = 0;
  if (outputs_.count(handle)) {
    const TempoStream &stream = *outputChannel(handle).core->tempo;
    f = static_cast<DWORD>(stream.rateHz());
    v = static_cast<DWORD>(stream.volume());
    p = stream.pan();
  } else {
    f = static_cast<DWORD>(sourceChannel(handle).core->source.sampleRate());
  }
  if (freq)
    *freq = f;
  if (volume)
    *volume = v;
  if (pan)
    *pan = p;
}

DWORD Engine::spectrum(DWORD output, float *out512) {
  std::lock_guard<std::mutex> lock(mutex_);
  TempoStream &stream = *outputChannel(output).core->tempo;
  if (!stream.playing())
    throw EngineError(BASS_ERROR_NOPLAY);
  stream.spectrum().magnitudes(out512);
  return FftTap::kFftSize * 4;
}

HSYNC Engine::addEndSync(DWORD handle, SYNCPROC *proc, DWORD user) {
  std::lock_guard<std::mutex> lock(mutex_);
  Channel &channel = channelOf(handle);
  if (!proc)
    throw EngineError(BASS_ERROR_ILLPARAM);
  const HSYNC sync = nextHandle_++;
  channel.core->source.addEndSync({sync, proc, user});
  return sync;
}

void Engine::createTempo(DWORD source) {
  std::lock_guard<std::mutex> lock(mutex_);
  Channel &channel = sourceChannel(source);
  if (channel.core->tempo)
    throw EngineError(BASS_ERROR_ALREADY);
  channel.core->tempo = std::make_unique<TempoStream>(channel.core->source, rate_);
  channel.output = nextHandle_++;
  outputs_[channel.output] = source;
}

DWORD Engine::outputOf(DWORD source) {
  std::lock_guard<std::mutex> lock(mutex_);
  Channel &channel = sourceChannel(source);
  if (!channel.core->tempo)
    throw EngineError(BASS_ERROR_HANDLE);
  return channel.output;
}

void Engine::freeTempo(DWORD handle) {
  std::lock_guard<std::mutex> lock(mutex_);
  tempoChannel(handle); // only a source with a tempo stream, or that stream
  const auto output = outputs_.find(handle);
  release(channels_.find(output == outputs_.end() ? handle : output->second));
}

void Engine::setTempo(DWORD handle, float tempo, int rate, float pitch) {
  std::lock_guard<std::mutex> lock(mutex_);
  TempoStream &stream = *tempoChannel(handle).core->tempo;
  const bool keepTempo = tempo == -100.0f, keepRate = rate == -1, keepPitch = pitch == -100.0f;
  if ((!keepTempo && !(tempo >= -95 && tempo <= 5000)) || (!keepRate && (rate < 100 || rate > 1000000)) ||
      (!keepPitch && !(pitch >= -60 && pitch <= 60)))
    throw EngineError(BASS_ERROR_ILLPARAM);
  stream.setShape(keepTempo ? stream.tempoPercent() : tempo, keepRate ? stream.rateHz() : rate,
                  keepPitch ? stream.pitchSemitones() : pitch);
  wakeFeeder();
}

double Engine::playingSeconds(DWORD handle, double seconds) {
  std::lock_guard<std::mutex> lock(mutex_);
  return tempoChannel(handle).core->tempo->playingSeconds(seconds);
}

void Engine::addEqualiser(DWORD handle) {
  std::lock_guard<std::mutex> lock(mutex_);
  channelOf(handle).equaliser = true;
}

void Engine::setEqBand(DWORD handle, const BASS_FXPEAKEQ &params) {
  std::lock_guard<std::mutex> lock(mutex_);
  Channel &channel = channelOf(handle);
  if (!channel.equaliser)
    throw EngineError(BASS_ERROR_HANDLE);
  const EqBand band{params.Centre, params.Bandwidth, params.Q, params.Gain};
  if (!channel.core->source.equaliser().setBand(params.Band, band))
    throw EngineError(BASS_ERROR_ILLPARAM);
  if (channel.core->tempo)
    channel.core->tempo->soundChanged();
  wakeFeeder();
}

void Engine::eqBand(DWORD handle, BASS_FXPEAKEQ &params) {
  std::lock_guard<std::mutex> lock(mutex_);
  Channel &channel = channelOf(handle);
  if (!channel.equaliser)
    throw EngineError(BASS_ERROR_HANDLE);
  const std::optional<EqBand> band = channel.core->source.equaliser().band(params.Band);
  if (!band)
    throw EngineError(BASS_ERROR_ILLPARAM);
  params.Rate = static_cast<DWORD>(channel.core->source.sampleRate());
  params.Bandwidth = band->bandwidthOctaves;
  params.Q = band->q;
  params.Centre = band->centreHz;
  params.Gain = band->gainDb;
}

void Engine::removeEqualiser(DWORD handle) {
  std::lock_guard<std::mutex> lock(mutex_);
  Channel &channel = channelOf(handle);
  if (!channel.equaliser)
    throw EngineError(BASS_ERROR_HANDLE);
  channel.equaliser = false;
  channel.core->source.equaliser().clear();
  if (channel.core->tempo)
    channel.core->tempo->soundChanged();
  wakeFeeder();
}

void Engine::setClarity(DWORD handle, const ClarityConfig &config) {
  std::lock_guard<std::mutex> lock(mutex_);
  Channel &channel = channelOf(handle);
  channel.core->source.setClarity(config);
  if (channel.core->tempo)
    channel.core->tempo->soundChanged();
  wakeFeeder();
}

ClarityConfig Engine::clarity(DWORD handle) {
  std::lock_guard<std::mutex> lock(mutex_);
  return channelOf(handle).core->source.clarity();
}

int Engine::renderStep(std::unique_lock<std::mutex> &lock) {
  const std::shared_ptr<Core> core = current_;
  if (!core || !core->tempo->wantsAudio())
    return -1;
  TempoStream &stream = *core->tempo;
  const TempoStream::Job job = stream.takeJob();
  lock.unlock();
  TempoStream::Outcome outcome;
  try {
    outcome = stream.render(job);
  } catch (...) {
    // A recording that cannot be read on ends here; the engine plays on.
    outcome = TempoStream::failed();
  }
  lock.lock();
  // The device may have gone to sleep while the feeder could not keep up, or waits for a jump.
  if (outcome.frames > 0 && device_ && current_ == core)
    device_->resume();
  stream.commit(job, outcome);
  return outcome.frames;
}

void Engine::settleEnd(std::unique_lock<std::mutex> &lock) {
  const std::shared_ptr<Core> core = current_;
  if (!core || !core->tempo->takeHeardEnd())
    return;
  silenceDevice();
  notifyEnd(*core, lock);
}

void Engine::replayFromHeard() {
  // Replays from the heard frame, as a change of shape does.
  if (current_)
    current_->tempo->soundChanged();
}

void Engine::notifyEnd(Core &core, std::unique_lock<std::mutex> &lock) {
  const std::vector<SourceChannel::EndSync> syncs = core.source.endSyncs();
  lock.unlock();
  {
    std::lock_guard<std::mutex> running(syncMutex_);
    if (core.notifies)
      for (const SourceChannel::EndSync &sync : syncs)
        sync.proc(sync.handle, core.handle, 0, sync.user);
  }
  lock.lock();
}

void Engine::feed() {
  std::unique_lock<std::mutex> lock(mutex_);
  while (!stopping_) {
    const uint32_t seen = wakeups_.load(std::memory_order_acquire);
    if (outputWasLost_.exchange(false))
      replayFromHeard();
    settleEnd(lock);
    if (renderStep(lock) >= 0)
      continue;
    lock.unlock();
    wakeups_.wait(seen, std::memory_order_acquire);
    lock.lock();
  }
}

AudioFeed::Rendered Engine::render(float *stereo, int frames, int64_t unheard, bool padded) {
  TempoStream *stream = sounding_.load(std::memory_order_acquire);
  const bool switched = lastSounding_.exchange(stream, std::memory_order_acq_rel) != stream;
  if (!stream) {
    std::fill(stereo, stereo + 2 * frames, 0.0f);
    Rendered silence;
    silence.restarted = switched;
    return silence;
  }
  Rendered rendered = stream->consume(stereo, frames, unheard, padded);
  rendered.restarted = rendered.restarted || switched;
  // Room was made in the ring, or the end may have been heard: the feeder looks again.
  wakeFeeder();
  return rendered;
}

bool Engine::restartPending() {
  TempoStream *stream = sounding_.load(std::memory_order_acquire);
  return stream != lastSounding_.load(std::memory_order_acquire) || (stream && stream->restartPending());
}

void Engine::outputRestarted() {
  outputWasLost_.store(true);
  wakeFeeder();
}

DWORD Engine::renderOffline(DWORD output, float *stereo, DWORD frames) {
  std::unique_lock<std::mutex> lock(mutex_);
  if (!offline_)
    throw EngineError(initialised_ ? BASS_ERROR_NOTAVAIL : BASS_ERROR_INIT);
  const std::shared_ptr<Core> core = outputChannel(output).core;
  TempoStream &stream = *core->tempo;
  if (!stream.playing() || current_ != core)
    throw EngineError(BASS_ERROR_NOPLAY);
  DWORD done = 0;
  while (done < frames && current_ == core) {
    int rendered = 0;
    for (int block; (block = renderStep(lock)) > 0;)
      rendered += block;
    const int chunk = static_cast<int>(std::min<DWORD>(frames - done, kOfflineChunkFrames));
    const int got = stream.consume(stereo + 2 * static_cast<size_t>(done), chunk, 0, false).leading;
    done += static_cast<DWORD>(got);
    settleEnd(lock);
    // Short: either the end, or stale blocks made room only now.
    if (got < chunk && (!stream.wantsAudio() || (got == 0 && rendered == 0)))
      break;
  }
  return done;
}

namespace {

// Runs a function when the scope is left, however it is left.
template <typename Function> class AtExit {
public:
  explicit AtExit(Function function) : function_(std::move(function)) {}
  ~AtExit() { function_(); }
  AtExit(const AtExit &) = delete;
  AtExit &operator=(const AtExit &) = delete;

private:
  Function function_;
};

} // namespace

void Engine::playSoundSync(const char *path) {
  int rate;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    requireInit();
    if (!device_)
      return; // rendering offline: there is nothing to hear
    rate = rate_;
  }
  std::unique_ptr<Decoder> decoder;
  try {
    decoder = openSndfileDecoder(path ? path : "");
  } catch (const EngineError &) {
    decoder = makeDefaultTone(rate);
  }
  const double seconds = static_cast<double>(decoder->lengthFrames()) / decoder->sampleRate();
  // On the heap and shared: the feeder may still hold it after this returns.
  const auto core = std::make_shared<Core>(0, std::move(decoder), false);
  core->tempo = std::make_unique<TempoStream>(core->source, rate);
  std::unique_lock<std::mutex> lock(mutex_);
  const AtExit silence([&] {
    if (!lock.owns_lock())
      lock.lock();
    if (current_ == core)
      makeCurrent(nullptr);
  });
  stopCurrent();
  core->tempo->setTargetFrames(std::max(2 * device_->periodFrames(), static_cast<int>(kAheadSeconds * rate)));
  core->tempo->play(false);
  makeCurrent(core);
  device_->resume();
  const auto limit = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds + 2);
  while (!core->tempo->finished() && current_ == core && std::chrono::steady_clock::now() < limit) {
    lock.unlock();
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    lock.lock();
  }
}

uint32_t Engine::outputGeneration(DWORD output) {
  std::lock_guard<std::mutex> lock(mutex_);
  return outputChannel(output).core->tempo->generation();
}

int64_t Engine::outputStartNanoseconds(DWORD output, uint32_t &generation) {
  std::lock_guard<std::mutex> lock(mutex_);
  return outputChannel(output).core->tempo->lastStartNanoseconds(generation);
}

bool Engine::deviceAsleep() {
  std::lock_guard<std::mutex> lock(mutex_);
  return device_ && device_->asleep();
}

DWORD Engine::deviceBufferFrames() {
  std::lock_guard<std::mutex> lock(mutex_);
  return device_ ? static_cast<DWORD>(device_->periodFrames()) : 0;
}

std::string Engine::outputProblem() {
  std::lock_guard<std::mutex> lock(mutex_);
  return device_ ? outputProblem_ : std::string();
}

} // namespace lyt
