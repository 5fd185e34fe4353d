// A real FFT of one size, forward and back, on FFTW: several times faster than kissfft at the
// sizes that speech processing takes, which is what lets noise reduction run on every block.
#pragma once

#include <complex>
#include <memory>

struct fftwf_plan_s;

namespace lyt {

// The transforms work on the object's own buffers (aligned as FFTW wants them). Construction and
// destruction may run on any thread (FFTW's planner is serialised inside); one object is used by
// one thread at a time. forward() and inverse() neither allocate nor lock.
class RealFft {
public:
  explicit RealFft(int size);
  RealFft(const RealFft &) = delete;
  RealFft &operator=(const RealFft &) = delete;

  int size() const { return size_; }
  int bins() const { return size_ / 2 + 1; }
  float *time() { return time_.get(); }
  std::complex<float> *spectrum() { return spectrum_.get(); }
  // time() to spectrum(): bins() bins from DC to Nyquist.
  void forward();
  // spectrum() to time(), scaled by size(); spectrum() is overwritten.
  void inverse();

private:
  struct BufferFree {
    void operator()(void *buffer) const;
  };
  struct PlanFree {
    void operator()(fftwf_plan_s *plan) const;
  };
  const int size_;
  std::unique_ptr<float, BufferFree> time_;
  std::unique_ptr<std::complex<float>, BufferFree> spectrum_;
  std::unique_ptr<fftwf_plan_s, PlanFree> forward_;
  std::unique_ptr<fftwf_plan_s, PlanFree> inverse_;
};

} // namespace lyt
