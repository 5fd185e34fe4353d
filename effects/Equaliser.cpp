// The six-band equaliser: installing it on a loaded file and applying the sliders.
#include "TrackBar.h"
#include "U_Main.h"

void TfrmMain::SetDSP_EQ(float gain, float bandwidth, float q, float c0, float c1, float c2, float c3,
                         float c4, float c5) {
  DWORD frequency = 0, volume = 0;
  int pan = 0;
  BASS_ChannelGetAttributes(Channel, &frequency, &volume, &pan);
  for (int band = 0; band < 6; ++band)
    BASS_FX_DSP_Set(Channel, BASS_FX_DSPFX_PEAKEQ, 0);
  EqParams.Rate = frequency;
  EqParams.Gain = gain;
  EqParams.Q = q;
  EqParams.Bandwidth = bandwidth;
  const float centres[6] = {c0, c1, c2, c3, c4, c5};
  for (int band = 0; band < 6; ++band) {
    EqParams.Band = band;
    EqParams.Centre = centres[band];
    BASS_FX_DSP_SetParameters(Channel, BASS_FX_DSPFX_PEAKEQ, &EqParams);
  }
  for (int band = 0; band < 6; ++band)
    UpdateFX(band, EqBandSliders[band]->Position());
}

void TfrmMain::UpdateFX(int band, int position) {
  EqParams.Band = band;
  BASS_FX_DSP_GetParameters(Channel, BASS_FX_DSPFX_PEAKEQ, &EqParams);
  EqParams.Gain = static_cast<float>(LYT_EQ_GAIN_OFFSETS_DB[band] - position);
  BASS_FX_DSP_SetParameters(Channel, BASS_FX_DSPFX_PEAKEQ, &EqParams);
}

void TfrmMain::tbEQBandChange(int band) {
  UpdateFX(band, EqBandSliders[band]->Position());
}

void TfrmMain::EqLabelClick(int band) {
  EqBandSliders[band]->setPosition(10);
}
