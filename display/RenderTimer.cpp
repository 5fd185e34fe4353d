// The spectrum display's render timer and its clearing on stop.
#include "U_Main.h"
#include "spectrum_vis.h"

void TfrmMain::Timer_RenderTimerTimer() {
  if (BASS_ChannelIsActive(Channel) != BASS_ACTIVE_PLAYING || !Spectrum)
    return;
  // Hidden, minimised, or cut off in the counter mode: no one would see it.
  if (isMinimized() || PaintFrame->visibleRegion().isEmpty())
    return;
  std::array<float, 513> fft;
  if (BASS_ChannelGetData(OutputChannel(), fft.data(), BASS_DATA_FFT1024) == DWORD(-1))
    return;
  Spectrum->DrawSpectrum(PaintFrame, fft, 0, 0);
}

void TfrmMain::ClearSpectrum() {
  if (Spectrum)
    Spectrum->ClearSpectrum(PaintFrame);
}
