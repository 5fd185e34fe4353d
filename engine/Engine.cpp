// Handles, the device, and the feeder thread that renders ahead of the device.
#include "Engine.h"

#include "decoders/SndfileDecoder.h"
#include "decoders/ToneDecoder.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <vector>

namespace lyt {
namespace {

constexpr int kOfflineChunkFrames = 8192;

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
  device_ = device == BASS_DEVICE_DEFAULT ? openSdlDevice(rate, renderDevice, this)
                                          : openNullDevice(rate, renderDevice, this);
  if (!device_)
    throw EngineError(BASS_ERROR_DRIVER);
  rate_ = rate;
  offline_ = false;
  stopping_ = false;
  initialised_ = true;
  feeder_ = std::thread(&Engine::feed, this);
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
  wake_.notify_all();
  if (feeder.joinable())
    feeder.join();
  std::lock_guard<std::mutex> lock(mutex_);
  current_.store(nullptr, std::memory_order_release);
  currentSource_ = 0;
  device_.reset();
  channels_.clear();
  outputs_.clear();
  initialised_ = false;
}

DWORD Engine::open(Kind kind, std::function<std::unique_ptr<Decoder>(int engineRate)> makeDecoder) {
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
  channel.source = std::make_unique<SourceChannel>(std::move(decoder), kind == Kind::Module);
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
  if (!channel.tempo)
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
  if (it->second.tempo) {
    if (current_.load(std::memory_order_relaxed) == it->second.tempo.get())
      makeCurrent(nullptr);
    outputs_.erase(it->second.output);
  }
  channels_.erase(it);
}

void Engine::makeCurrent(TempoStream *stream) {
  TempoStream *previous = current_.load(std::memory_order_relaxed);
  if (previous == stream)
    return;
  current_.store(stream, std::memory_order_release);
  currentSource_ = 0;
  if (stream)
    for (const auto &[handle, channel] : channels_)
      if (channel.tempo.get() == stream)
        currentSource_ = handle;
  if (device_)
    device_->barrier();
  wake_.notify_all();
}

QWORD Engine::lengthBytes(DWORD handle, Kind kind) {
  std::lock_guard<std::mutex> lock(mutex_);
  Channel &channel = sourceChannel(handle);
  if (channel.kind != kind)
    throw EngineError(BASS_ERROR_HANDLE);
  return static_cast<QWORD>(channel.source->lengthFrames()) * channel.source->bytesPerFrame();
}

QWORD Engine::position(DWORD handle) {
  std::lock_guard<std::mutex> lock(mutex_);
  Channel &channel = channelOf(handle);
  const int64_t frame = channel.tempo ? channel.tempo->heardFrame() : channel.source->readFrame();
  return static_cast<QWORD>(frame) * channel.source->bytesPerFrame();
}

void Engine::setPosition(DWORD handle, QWORD bytes) {
  std::lock_guard<std::mutex> lock(mutex_);
  Channel &channel = sourceChannel(handle);
  SourceChannel &source = *channel.source;
  int64_t frame;
  if (channel.kind == Kind::Module && isModuleSecondsForm(bytes))
    frame = static_cast<int64_t>(bytes & 0xFFFF) * source.sampleRate();
  else if (bytes > static_cast<QWORD>(source.lengthFrames()) * source.bytesPerFrame())
    throw EngineError(BASS_ERROR_POSITION);
  else
    frame = static_cast<int64_t>(bytes / source.bytesPerFrame());
  if (channel.tempo)
    channel.tempo->restartAt(frame);
  else
    source.seek(frame);
  wake_.notify_all();
}

double Engine::bytesToSeconds(DWORD handle, QWORD bytes) {
  std::lock_guard<std::mutex> lock(mutex_);
  const SourceChannel &source = *channelOf(handle).source;
  return static_cast<double>(bytes) / source.bytesPerFrame() / source.sampleRate();
}

QWORD Engine::secondsToBytes(DWORD handle, double seconds) {
  std::lock_guard<std::mutex> lock(mutex_);
  const SourceChannel &source = *channelOf(handle).source;
  if (!std::isfinite(seconds) || seconds < 0 || seconds > 1e9)
    throw EngineError(BASS_ERROR_ILLPARAM);
  const auto frames = static_cast<QWORD>(seconds * source.sampleRate());
  return frames * source.bytesPerFrame();
}

void Engine::play(DWORD output, bool flush) {
  std::lock_guard<std::mutex> lock(mutex_);
  TempoStream &stream = *outputChannel(output).tempo;
  TempoStream *previous = current_.load(std::memory_order_relaxed);
  if (previous && previous != &stream) {
    makeCurrent(nullptr);
    previous->stop();
  }
  stream.setTargetFrames(device_ ? std::max(2 * device_->periodFrames(), 2048)
                                 : static_cast<int>(AudioBlock::kFrames * 60));
  stream.play(flush);
  makeCurrent(&stream);
  if (device_)
    device_->resume();
  wake_.notify_all();
}

void Engine::stop(DWORD handle) {
  std::lock_guard<std::mutex> lock(mutex_);
  requireInit();
  if (outputs_.count(handle)) {
    TempoStream &stream = *outputChannel(handle).tempo;
    if (current_.load(std::memory_order_relaxed) == &stream)
      makeCurrent(nullptr);
    stream.stop();
  } else {
    sourceChannel(handle).source->stop();
  }
}

bool Engine::active(DWORD handle) {
  std::lock_guard<std::mutex> lock(mutex_);
  requireInit();
  if (outputs_.count(handle))
    return outputChannel(handle).tempo->playing();
  return sourceChannel(handle).source->active();
}

void Engine::setAttributes(DWORD handle, int freq, int volume, int pan) {
  std::lock_guard<std::mutex> lock(mutex_);
  TempoStream &stream = *outputChannel(handle).tempo;
  if ((freq != -1 && freq != 0 && (freq < 100 || freq > 1000000)))
    throw EngineError(BASS_ERROR_ILLPARAM);
  if (volume != -1)
    stream.setVolume(std::clamp(volume, 0, 100));
  if (pan != -101)
    stream.setPan(std::clamp(pan, -100, 100));
  if (freq != -1)
    stream.setShape(stream.tempoPercent(), freq == 0 ? stream.source().sampleRate() : freq,
                    stream.pitchSemitones());
  wake_.notify_all();
}

void Engine::attributes(DWORD handle, DWORD *freq, DWORD *volume, int *pan) {
  std::lock_guard<std::mutex> lock(mutex_);
  requireInit();
  DWORD f, v = 100;
  int p = 0;
  if (outputs_.count(handle)) {
    const TempoStream &stream = *outputChannel(handle).tempo;
    f = static_cast<DWORD>(stream.rateHz());
    v = static_cast<DWORD>(stream.volume());
    p = stream.pan();
  } else {
    f = static_cast<DWORD>(sourceChannel(handle).source->sampleRate());
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
  TempoStream &stream = *outputChannel(output).tempo;
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
  channel.source->addEndSync({sync, proc, user});
  return sync;
}

void Engine::createTempo(DWORD source) {
  std::lock_guard<std::mutex> lock(mutex_);
  Channel &channel = sourceChannel(source);
  if (channel.tempo)
    throw EngineError(BASS_ERROR_ALREADY);
  channel.tempo = std::make_unique<TempoStream>(*channel.source, rate_);
  channel.output = nextHandle_++;
  outputs_[channel.output] = source;
}

DWORD Engine::outputOf(DWORD source) {
  std::lock_guard<std::mutex> lock(mutex_);
  Channel &channel = sourceChannel(source);
  if (!channel.tempo)
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
  TempoStream &stream = *tempoChannel(handle).tempo;
  const bool keepTempo = tempo == -100.0f, keepRate = rate == -1, keepPitch = pitch == -100.0f;
  if ((!keepTempo && !(tempo >= -95 && tempo <= 5000)) || (!keepRate && (rate < 100 || rate > 1000000)) ||
      (!keepPitch && !(pitch >= -60 && pitch <= 60)))
    throw EngineError(BASS_ERROR_ILLPARAM);
  stream.setShape(keepTempo ? stream.tempoPercent() : tempo, keepRate ? stream.rateHz() : rate,
                  keepPitch ? stream.pitchSemitones() : pitch);
  wake_.notify_all();
}

double Engine::playingSeconds(DWORD handle, double seconds) {
  std::lock_guard<std::mutex> lock(mutex_);
  return tempoChannel(handle).tempo->playingSeconds(seconds);
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
  if (!channel.source->equaliser().setBand(params.Band, band))
    throw EngineError(BASS_ERROR_ILLPARAM);
  if (channel.tempo)
    channel.tempo->soundChanged();
  wake_.notify_all();
}

void Engine::eqBand(DWORD handle, BASS_FXPEAKEQ &params) {
  std::lock_guard<std::mutex> lock(mutex_);
  Channel &channel = channelOf(handle);
  if (!channel.equaliser)
    throw EngineError(BASS_ERROR_HANDLE);
  const std::optional<EqBand> band = channel.source->equaliser().band(params.Band);
  if (!band)
    throw EngineError(BASS_ERROR_ILLPARAM);
  params.Rate = static_cast<DWORD>(channel.source->sampleRate());
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
  channel.source->equaliser().clear();
  if (channel.tempo)
    channel.tempo->soundChanged();
}

int Engine::renderAhead(std::vector<PendingSync> &syncs) {
  TempoStream *stream = current_.load(std::memory_order_relaxed);
  if (!stream || !stream->wantsAudio())
    return 0;
  const int frames = stream->renderBlock();
  if (frames > 0 && device_)
    device_->resume(); // the device may have gone to sleep while the feeder could not keep up
  const auto it = channels_.find(currentSource_);
  if (it != channels_.end() && it->second.source->takeEndEvent())
    for (const SourceChannel::EndSync &sync : it->second.source->endSyncs())
      syncs.push_back({sync, currentSource_});
  return frames;
}

void Engine::fire(const std::vector<PendingSync> &syncs) {
  for (const PendingSync &pending : syncs)
    pending.sync.proc(pending.sync.handle, pending.channel, 0, pending.sync.user);
}

void Engine::feed() {
  std::vector<PendingSync> syncs;
  std::unique_lock<std::mutex> lock(mutex_);
  while (!stopping_) {
    const int frames = renderAhead(syncs);
    if (!syncs.empty()) {
      lock.unlock();
      fire(syncs);
      syncs.clear();
      lock.lock();
    }
    if (frames > 0) {
      // Let a waiting command in between two blocks.
      lock.unlock();
      std::this_thread::yield();
      lock.lock();
      continue;
    }
    TempoStream *stream = current_.load(std::memory_order_relaxed);
    if (stream && stream->playing())
      wake_.wait_for(lock, std::chrono::milliseconds(2));
    else
      wake_.wait(lock);
  }
}

bool Engine::renderDevice(void *context, float *stereo, int frames) {
  auto *engine = static_cast<Engine *>(context);
  TempoStream *stream = engine->current_.load(std::memory_order_acquire);
  if (stream)
    return stream->consume(stereo, frames) > 0;
  std::fill(stereo, stereo + 2 * frames, 0.0f);
  return false;
}

DWORD Engine::renderOffline(DWORD output, float *stereo, DWORD frames) {
  std::vector<PendingSync> syncs;
  DWORD done = 0;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!offline_)
      throw EngineError(initialised_ ? BASS_ERROR_NOTAVAIL : BASS_ERROR_INIT);
    TempoStream &stream = *outputChannel(output).tempo;
    if (!stream.playing() || current_.load(std::memory_order_relaxed) != &stream)
      throw EngineError(BASS_ERROR_NOPLAY);
    while (done < frames) {
      int rendered = 0;
      while (const int block = renderAhead(syncs))
        rendered += block;
      const int chunk = static_cast<int>(std::min<DWORD>(frames - done, kOfflineChunkFrames));
      const int got = stream.consume(stereo + 2 * static_cast<size_t>(done), chunk);
      done += static_cast<DWORD>(got);
      // Short: either the end, or stale blocks made room only now.
      if (got < chunk && (!stream.wantsAudio() || (got == 0 && rendered == 0)))
        break;
    }
  }
  fire(syncs);
  return done;
}

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
  SourceChannel source(std::move(decoder), false);
  TempoStream stream(source, rate);
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (TempoStream *previous = current_.load(std::memory_order_relaxed)) {
      makeCurrent(nullptr);
      previous->stop();
    }
    stream.setTargetFrames(std::max(2 * device_->periodFrames(), 2048));
    stream.play(false);
    makeCurrent(&stream);
    device_->resume();
  }
  const auto limit = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds + 2);
  while (std::chrono::steady_clock::now() < limit) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (stream.finished())
        break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  std::lock_guard<std::mutex> lock(mutex_);
  makeCurrent(nullptr);
}

uint32_t Engine::outputGeneration(DWORD output) {
  std::lock_guard<std::mutex> lock(mutex_);
  return outputChannel(output).tempo->generation();
}

int64_t Engine::outputStartNanoseconds(DWORD output, uint32_t &generation) {
  std::lock_guard<std::mutex> lock(mutex_);
  return outputChannel(output).tempo->lastStartNanoseconds(generation);
}

bool Engine::deviceAsleep() {
  std::lock_guard<std::mutex> lock(mutex_);
  return device_ && device_->asleep();
}

} // namespace lyt
