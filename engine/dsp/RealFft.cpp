#include "dsp/RealFft.h"

#include <fftw3.h>

#include <mutex>

namespace lyt {
namespace {

// FFTW's planner keeps global state: only its execute calls may run on several threads at once.
std::mutex &plannerLock() {
  static std::mutex lock;
  return lock;
}

} // namespace

void RealFft::BufferFree::operator()(void *buffer) const {
  fftwf_free(buffer);
}

void RealFft::PlanFree::operator()(fftwf_plan_s *plan) const {
  const std::lock_guard lock(plannerLock());
  fftwf_destroy_plan(plan);
}

RealFft::RealFft(int size)
    : size_(size), time_(fftwf_alloc_real(static_cast<size_t>(size))),
      spectrum_(reinterpret_cast<std::complex<float> *>(fftwf_alloc_complex(static_cast<size_t>(bins())))) {
  auto *bins = reinterpret_cast<fftwf_complex *>(spectrum_.get());
  const std::lock_guard lock(plannerLock());
  forward_.reset(fftwf_plan_dft_r2c_1d(size, time_.get(), bins, FFTW_ESTIMATE));
  inverse_.reset(fftwf_plan_dft_c2r_1d(size, bins, time_.get(), FFTW_ESTIMATE));
}

void RealFft::forward() {
  fftwf_execute(forward_.get());
}

void RealFft::inverse() {
  fftwf_execute(inverse_.get());
}

} // namespace lyt
