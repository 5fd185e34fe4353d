// Tempo, pitch, volume and the equaliser in the window: labels, bounds, and what reaches the engine.
#include "CommonTypes.h"
#include "Bass.h"
#include "MainWindowFixture.h"
#include "SpeedButton.h"
#include "TempoFormat.h"
#include "TrackBar.h"
#include "support/Fixtures.h"

#include <QLabel>
#include <QMenu>
#include <QTest>

using namespace lyt::test;

namespace {

TEST(TempoCaption, IsTheFactorCutToFourCharacters) {
  EXPECT_EQ(tempoCaption(5), QStringLiteral("1.05"));
  EXPECT_EQ(tempoCaption(-50), QStringLiteral("0.5 "));
  EXPECT_EQ(tempoCaption(300), QStringLiteral("4.0 "));
  EXPECT_EQ(tempoCaption(123), QStringLiteral("2.23"));
  EXPECT_EQ(tempoCaption(0), QStringLiteral("1.0 "));
  EXPECT_EQ(tempoCaption(-1), QStringLiteral("0.99"));
  EXPECT_EQ(tempoCaption(10), QStringLiteral("1.1 "));
}

class Effects : public MainWindowTest {
protected:
  void SetUp() override {
    MainWindowTest::SetUp();
    start(fixture("pcm16.wav").path);
    window->SpdBtn_PlayStop->setDown(true);
    window->SpdBtn_PlayStopClick(); // while playing every engine change restarts the rendering
  }
  uint32_t engineChanges() const { return LYT_OutputGeneration(window->OutputChannel()); }
  float bandGain(int band) {
    BASS_FXPEAKEQ params{};
    params.Band = band;
    EXPECT_TRUE(BASS_FX_DSP_GetParameters(window->Channel, BASS_FX_DSPFX_PEAKEQ, &params));
    return params.Gain;
  }
};

TEST_F(Effects, TheTempoReachesTheEngineOncePerRealChangeAndStopsAtItsBounds) {
  const uint32_t before = engineChanges();
  window->tbTempo->setPosition(100);
  EXPECT_EQ(engineChanges(), before + 1);
  EXPECT_EQ(window->lblTempo->text(), QStringLiteral("2.0 "));
  EXPECT_FLOAT_EQ(BASS_FX_TempoGetApproxSeconds(window->Channel, 10), 5.0f);
  window->tbTempo->setPosition(100);
  EXPECT_EQ(engineChanges(), before + 1) << "the same position does not call the engine";
  window->tbTempo->setPosition(400);
  window->tbTempo->setPosition(500);
  EXPECT_EQ(window->tbTempo->Position(), 300);
  EXPECT_EQ(engineChanges(), before + 2) << "the bound once";
  window->lblTempoClick();
  EXPECT_EQ(window->lblTempo->text(), QStringLiteral("1.00"));
  window->tbTempo->setPosition(1);
  window->tbTempo->setPosition(0);
  EXPECT_EQ(window->lblTempo->text(), QStringLiteral("1.0 ")) << "by hand it shows the trailing blank";
  const uint32_t settled = engineChanges();
  window->lblTempoClick();
  EXPECT_EQ(engineChanges(), settled) << "a click at 0 only rewrites the caption";
  EXPECT_EQ(window->lblTempo->text(), QStringLiteral("1.00"));
}

TEST_F(Effects, PitchAndVolumeShowTheirValues) {
  window->tbPitch->setPosition(-3);
  EXPECT_EQ(window->lblPitch->text(), QStringLiteral("-3"));
  const QString playedTime = window->lblPosition->text();
  window->tbPitch->setPosition(5);
  EXPECT_EQ(window->lblPitch->text(), QStringLiteral("5"));
  EXPECT_EQ(window->lblPosition->text(), playedTime) << "pitch leaves the playing time alone";
  window->tbPitch->setPosition(9);
  EXPECT_EQ(window->tbPitch->Position(), 5);
  window->lblPitchClick();
  EXPECT_EQ(window->lblPitch->text(), QStringLiteral("0"));

  window->tbVolume->setPosition(80);
  DWORD volume = 0;
  BASS_ChannelGetAttributes(window->OutputChannel(), nullptr, &volume, nullptr);
  EXPECT_EQ(volume, 80u);
  EXPECT_EQ(window->lblVolume->text(), QStringLiteral("80"));
  window->lblVolumeClick();
  EXPECT_EQ(window->tbVolume->Position(), 50);
  BASS_ChannelGetAttributes(window->OutputChannel(), nullptr, &volume, nullptr);
  EXPECT_EQ(volume, 50u);
}

TEST_F(Effects, ANewFileOpensAtNormalSpeedAndPitchWithTheLastVolume) {
  window->tbTempo->setPosition(60);
  window->tbPitch->setPosition(2);
  window->tbVolume->setPosition(33);
  window->OpenMediaFile(fixture("tone.flac").path);
  EXPECT_EQ(window->tbTempo->Position(), 0);
  EXPECT_EQ(window->lblTempo->text(), QStringLiteral("1.00"));
  EXPECT_EQ(window->tbPitch->Position(), 0);
  EXPECT_EQ(window->tbVolume->Position(), 33);
  DWORD volume = 0;
  BASS_ChannelGetAttributes(window->OutputChannel(), nullptr, &volume, nullptr);
  EXPECT_EQ(volume, 33u);
  EXPECT_FLOAT_EQ(BASS_FX_TempoGetApproxSeconds(window->Channel, 10), 10.0f);
}

TEST_F(Effects, EachBandsGainIsItsOffsetMinusTheSliderPosition) {
  static constexpr float kOffset[6] = {11, 11, 12, 12, 11, 11};
  for (int band = 0; band < 6; ++band) {
    EXPECT_FLOAT_EQ(bandGain(band), kOffset[band] - 10) << "fresh sliders are not flat";
    for (int position : {0, 19, 10}) {
      EqBandSliders[band]->setPosition(position);
      EXPECT_FLOAT_EQ(bandGain(band), kOffset[band] - position) << band << " at " << position;
    }
    BASS_FXPEAKEQ params{};
    params.Band = band;
    BASS_FX_DSP_GetParameters(window->Channel, BASS_FX_DSPFX_PEAKEQ, &params);
    EXPECT_FLOAT_EQ(params.Centre, LYT_EQ_CENTRES_HZ[band]);
    EXPECT_FLOAT_EQ(params.Bandwidth, 2.5f);
    EXPECT_EQ(params.Rate, 44100u);
  }
  window->tbEQBand3->setPosition(0);
  EXPECT_FLOAT_EQ(bandGain(3), 12) << "+12 dB at 1213 Hz";
  window->tbEQBand0->setPosition(19);
  EXPECT_FLOAT_EQ(bandGain(0), -8);
}

TEST_F(Effects, ALabelClickReturnsItsBandToTenAndAtTenDoesNothing) {
  window->tbEQBand3->setPosition(4);
  const uint32_t before = engineChanges();
  QTest::mouseClick(window->Lbl1200Hz, Qt::LeftButton);
  EXPECT_EQ(window->tbEQBand3->Position(), 10);
  EXPECT_FLOAT_EQ(bandGain(3), 2);
  const uint32_t after = engineChanges();
  EXPECT_GT(after, before);
  QTest::mouseClick(window->Lbl1200Hz, Qt::LeftButton);
  EXPECT_EQ(engineChanges(), after) << "already at 10: nothing reaches the engine";
}

TEST_F(Effects, TheSlidersKeepTheirPositionsForTheNextFile) {
  window->tbEQBand5->setPosition(3);
  window->OpenMediaFile(fixture("tone.flac").path);
  EXPECT_EQ(window->tbEQBand5->Position(), 3);
  EXPECT_FLOAT_EQ(bandGain(5), 8);
}

} // namespace

namespace {

TEST_F(Effects, ClarityItemsReachTheEngineShowOnTheSpectrumAndAreRememberedInTheirOwnSection) {
  EXPECT_FALSE(window->lblClarity->isVisible());
  window->ItemDenoise->trigger();
  window->ItemChannelRight->trigger();
  LYT_CLARITY clarity{};
  ASSERT_TRUE(LYT_GetClarity(window->Channel, &clarity));
  EXPECT_TRUE(clarity.Denoise);
  EXPECT_FALSE(clarity.Level);
  EXPECT_EQ(clarity.Channel, LYT_CHANNEL_RIGHT);
  EXPECT_TRUE(window->lblClarity->isVisibleTo(window));
  EXPECT_EQ(window->lblClarity->text(), QStringLiteral("除去 右"));
  EXPECT_TRUE(window->PopupMenu1->actions().contains(window->ClarityMenu->menuAction())) << "in the right-click menu too";
  close();
  EXPECT_NE(settingsText().find("[Clarity]\nDenoise=1\nLevel=0\nChannel=2\n"), std::string::npos) << settingsText();
  start(fixture("pcm16.wav").path);
  EXPECT_TRUE(window->ItemDenoise->isChecked());
  EXPECT_TRUE(window->ItemChannelRight->isChecked());
  ASSERT_TRUE(LYT_GetClarity(window->Channel, &clarity));
  EXPECT_TRUE(clarity.Denoise) << "the remembered choice is applied to the file opened";
  EXPECT_EQ(clarity.Channel, LYT_CHANNEL_RIGHT);
}

} // namespace
