#include "PulseServer.h"

#include "WaitUntil.h"

#include <pulse/simple.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>

namespace lyt::test {
namespace {

std::string configuration(bool suspendOnIdle) {
  std::string text = "load-module module-null-sink sink_name=out rate=44100 format=float32le channels=2\n"
                     "load-module module-native-protocol-unix auth-anonymous=1\n"
                     "set-default-sink out\n";
  if (suspendOnIdle)
    text += "load-module module-suspend-on-idle\n";
  return text;
}

std::string run(const std::string &command) {
  std::string out;
  std::unique_ptr<FILE, int (*)(FILE *)> pipe(popen(command.c_str(), "r"), pclose);
  if (!pipe)
    return out;
  std::array<char, 4096> chunk;
  size_t got;
  while ((got = fread(chunk.data(), 1, chunk.size(), pipe.get())) > 0)
    out.append(chunk.data(), got);
  return out;
}

constexpr size_t kChunkFrames = PulseServer::kRate / 200; // 5 ms

} // namespace

PulseServer::PulseServer(bool suspendOnIdle) : suspendOnIdle_(suspendOnIdle) {
  char folder[] = "/tmp/lyt-pulse-XXXXXX";
  folder_ = mkdtemp(folder) ? folder : "/tmp";
  std::ofstream(folder_ + "/server.pa") << configuration(suspendOnIdle_);
}

PulseServer::~PulseServer() {
  kill();
  std::system(("rm -rf '" + folder_ + "'").c_str());
}

bool PulseServer::start() {
  kill();
  unlink((folder_ + "/pulse/native").c_str());
  pid_ = fork();
  if (pid_ == 0) {
    setenv("XDG_RUNTIME_DIR", folder_.c_str(), 1);
    setenv("HOME", folder_.c_str(), 1);
    const std::string script = folder_ + "/server.pa";
    execlp("pulseaudio", "pulseaudio", "-n", "-F", script.c_str(), "--daemonize=no", "--exit-idle-time=-1",
           "--use-pid-file=no", "--disable-shm=yes", "--log-level=error", static_cast<char *>(nullptr));
    _exit(127);
  }
  return pid_ > 0 && waitUntil([&] { return pactl("info").find("Server Name") != std::string::npos; });
}

void PulseServer::kill() {
  if (pid_ <= 0)
    return;
  ::kill(pid_, SIGKILL);
  ::kill(pid_, SIGCONT);
  int status;
  waitpid(pid_, &status, 0);
  pid_ = -1;
}

void PulseServer::stall(bool stalled) {
  if (pid_ > 0)
    ::kill(pid_, stalled ? SIGSTOP : SIGCONT);
}

std::string PulseServer::pactl(const std::string &args) const {
  return run("PULSE_SERVER='" + address() + "' pactl " + args + " 2>/dev/null");
}

bool PulseServer::hasStream() const {
  return pactl("list sink-inputs").find("application.name = \"Lystrel2\"") != std::string::npos;
}

bool PulseServer::streamCorked() const {
  const std::string inputs = pactl("list sink-inputs");
  return inputs.find("application.name = \"Lystrel2\"") != std::string::npos &&
         inputs.find("Corked: yes") != std::string::npos;
}

MonitorRecording::MonitorRecording(const PulseServer &server) : thread_([this, a = server.address()] { record(a); }) {
  // A new null sink renders its first two seconds ahead at once; what is played meanwhile would
  // reach the monitor only after them.
  waitUntil([this] { return frames() > 0; }, std::chrono::seconds(5));
}

MonitorRecording::~MonitorRecording() {
  stopping_ = true;
  thread_.join();
}

void MonitorRecording::record(const std::string &server) {
  const pa_sample_spec format{PA_SAMPLE_FLOAT32NE, PulseServer::kRate, 2};
  pa_buffer_attr attributes{};
  attributes.maxlength = static_cast<uint32_t>(-1);
  attributes.fragsize = kChunkFrames * 2 * sizeof(float);
  int error = 0;
  pa_simple *monitor = pa_simple_new(server.substr(5).c_str(), "lystrel2-tests", PA_STREAM_RECORD, "out.monitor",
                                     "monitor", &format, nullptr, &attributes, &error);
  if (!monitor)
    return;
  open_ = true;
  std::vector<float> chunk(2 * kChunkFrames);
  while (!stopping_ && pa_simple_read(monitor, chunk.data(), chunk.size() * sizeof(float), &error) >= 0) {
    std::lock_guard<std::mutex> lock(mutex_);
    chunkArrivals_.push_back(std::chrono::steady_clock::now());
    for (size_t i = 0; i < chunk.size(); i += 2)
      left_.push_back(chunk[i]);
  }
  pa_simple_free(monitor);
}

std::vector<float> MonitorRecording::left() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return left_;
}

std::chrono::steady_clock::time_point MonitorRecording::arrivalOf(size_t frame) const {
  std::lock_guard<std::mutex> lock(mutex_);
  const size_t chunk = std::min(frame / kChunkFrames, chunkArrivals_.size() - 1);
  const auto before = std::chrono::duration<double>(static_cast<double>((chunk + 1) * kChunkFrames - frame) / PulseServer::kRate);
  return chunkArrivals_[chunk] - std::chrono::duration_cast<std::chrono::steady_clock::duration>(before);
}

size_t MonitorRecording::frames() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return left_.size();
}

} // namespace lyt::test
