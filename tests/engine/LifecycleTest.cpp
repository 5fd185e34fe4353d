// Handles, errors, activity and the end of the source: the contract the player relies on.
#include "EngineFixture.h"
#include "support/Fixtures.h"
#include "support/Signals.h"

#include <atomic>

namespace lyt::test {
namespace {

std::atomic<int> gEndSyncs{0};
std::atomic<DWORD> gEndSyncUser{0};

void countEnd(HSYNC, DWORD, DWORD, DWORD user) {
  ++gEndSyncs;
  gEndSyncUser = user;
}

using Lifecycle = OfflineEngine;

TEST_F(Lifecycle, EveryCallOnHandleZeroFailsWithoutEffect) {
  float buffer[513];
  BASS_FXPEAKEQ eq{};
  EXPECT_FALSE(BASS_StreamPlay(0, FALSE, 0));
  EXPECT_FALSE(BASS_ChannelStop(0));
  EXPECT_FALSE(BASS_ChannelSetPosition(0, 0));
  EXPECT_EQ(BASS_ChannelGetPosition(0), QWORD(-1));
  EXPECT_EQ(BASS_ChannelSeconds2Bytes(0, 1), QWORD(-1));
  EXPECT_EQ(BASS_ChannelIsActive(0), DWORD(BASS_ACTIVE_STOPPED));
  EXPECT_FALSE(BASS_ChannelSetAttributes(0, -1, 50, -101));
  EXPECT_EQ(BASS_ChannelGetData(0, buffer, BASS_DATA_FFT1024), DWORD(-1));
  EXPECT_EQ(BASS_ChannelSetSync(0, BASS_SYNC_END, 0, countEnd, 0), 0u);
  EXPECT_FALSE(BASS_StreamFree(0));
  EXPECT_FALSE(BASS_MusicFree(0));
  EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_HANDLE);

  EXPECT_EQ(BASS_FX_ErrorGetCode(), 0) << "the effect library keeps its own last error";
  EXPECT_FALSE(BASS_FX_DSP_Remove(0, BASS_FX_DSPFX_PEAKEQ));
  EXPECT_FALSE(BASS_FX_TempoFree(0));
  EXPECT_FALSE(BASS_FX_TempoSet(0, 10, -1, -100));
  EXPECT_FALSE(BASS_FX_DSP_GetParameters(0, BASS_FX_DSPFX_PEAKEQ, &eq));
  EXPECT_EQ(BASS_FX_TempoGetResampledHandle(0), 0u);
  EXPECT_EQ(BASS_FX_TempoGetApproxSeconds(0, 5), -1.0f);
  EXPECT_EQ(BASS_FX_ErrorGetCode(), BASS_ERROR_HANDLE);
  EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_HANDLE);
}

TEST_F(Lifecycle, ReleasingTheTempoStreamReleasesTheSourceAndHandlesAreNeverReused) {
  const std::string path = fixture("pcm16.wav").path;
  const DWORD source = openAndPlay(path);
  const DWORD output = BASS_FX_TempoGetResampledHandle(source);
  ASSERT_TRUE(BASS_FX_TempoFree(source));
  EXPECT_FALSE(BASS_ChannelGetPosition(source) != QWORD(-1));
  EXPECT_FALSE(BASS_StreamPlay(output, FALSE, 0));
  EXPECT_FALSE(BASS_FX_TempoFree(source));
  EXPECT_EQ(BASS_FX_ErrorGetCode(), BASS_ERROR_HANDLE);
  const DWORD again = openAndPlay(path);
  EXPECT_NE(again, source);
  EXPECT_NE(again, output);
  EXPECT_NE(BASS_FX_TempoGetResampledHandle(again), output);
}

TEST_F(Lifecycle, StreamAndModuleFreeOnlyTheirOwnKind) {
  const Opened stream = openLikeThePlayer(fixture("pcm16.wav").path);
  EXPECT_FALSE(BASS_MusicFree(stream.source));
  EXPECT_TRUE(BASS_StreamFree(stream.source));
  EXPECT_FALSE(BASS_MusicFree(stream.source)) << "already released";
  const Opened module = openLikeThePlayer(fixture("song.mod").path);
  EXPECT_FALSE(BASS_StreamFree(module.source));
  EXPECT_TRUE(BASS_MusicFree(module.source));
}

TEST_F(Lifecycle, TheEndNotifiesOnceSilencesTheOutputAndANewPositionPlaysAgain) {
  const DWORD source = openAndPlay(fixture("pcm16.wav").path);
  const DWORD output = BASS_FX_TempoGetResampledHandle(source);
  gEndSyncs = 0;
  ASSERT_NE(BASS_ChannelSetSync(source, BASS_SYNC_END, 0, countEnd, 77), 0u);
  EXPECT_EQ(BASS_ChannelIsActive(source), DWORD(BASS_ACTIVE_PLAYING));
  const std::vector<float> all = render(output);
  EXPECT_EQ(all.size() / 2, size_t(3 * kRate));
  EXPECT_EQ(gEndSyncs.load(), 1);
  EXPECT_EQ(gEndSyncUser.load(), 77u);
  EXPECT_EQ(BASS_ChannelIsActive(source), DWORD(BASS_ACTIVE_STOPPED));
  float tail[2 * 512];
  EXPECT_EQ(LYT_RenderOffline(output, tail, 512), 0u) << "silent after the end, though looped";
  EXPECT_EQ(gEndSyncs.load(), 1) << "once";

  ASSERT_TRUE(BASS_ChannelSetPosition(source, BASS_ChannelSeconds2Bytes(source, 2)));
  EXPECT_EQ(BASS_ChannelIsActive(source), DWORD(BASS_ACTIVE_PLAYING));
  EXPECT_EQ(BASS_ChannelIsActive(output), DWORD(BASS_ACTIVE_STOPPED)) << "the output fell silent";
  EXPECT_EQ(LYT_RenderOffline(output, tail, 512), 0u) << "a new position alone does not sound it";
  ASSERT_TRUE(BASS_StreamPlay(output, FALSE, 0));
  EXPECT_EQ(render(output).size() / 2, size_t(kRate)) << "the last second again";
  EXPECT_EQ(gEndSyncs.load(), 2);
}

TEST_F(Lifecycle, AStoppedSourceIsInactiveUntilItIsGivenAPosition) {
  const DWORD source = openAndPlay(fixture("pcm16.wav").path);
  const DWORD output = BASS_FX_TempoGetResampledHandle(source);
  render(output, kRate / 2);
  ASSERT_TRUE(BASS_ChannelStop(source));
  EXPECT_EQ(BASS_ChannelIsActive(source), DWORD(BASS_ACTIVE_STOPPED));
  ASSERT_TRUE(BASS_ChannelSetPosition(source, BASS_ChannelSeconds2Bytes(source, 1)));
  EXPECT_EQ(BASS_ChannelIsActive(source), DWORD(BASS_ACTIVE_PLAYING));
  EXPECT_EQ(render(output).size() / 2, size_t(2 * kRate)) << "continues from the new position";
}

TEST_F(Lifecycle, StoppingTheOutputKeepsThePlaceThatWasHeard) {
  const DWORD source = openAndPlay(fixture("pcm16.wav").path);
  const DWORD output = BASS_FX_TempoGetResampledHandle(source);
  BASS_FX_TempoSet(source, 100, -1, -100);
  render(output, kRate / 2); // half a second of playing time: one second of the recording
  ASSERT_TRUE(BASS_ChannelStop(output));
  EXPECT_NEAR(BASS_ChannelBytes2Seconds(source, BASS_ChannelGetPosition(source)), 1.0, 0.01);
  float buffer[64];
  EXPECT_EQ(LYT_RenderOffline(output, buffer, 32), 0u);
  EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_NOPLAY) << "a stopped output renders nothing";
  ASSERT_TRUE(BASS_StreamPlay(output, FALSE, 0));
  EXPECT_NEAR(render(output).size() / 2.0 / kRate, 1.0, 0.02) << "the remaining two seconds at double speed";
}

TEST_F(Lifecycle, CallsBeforeStartOrAfterTheEndOfTheEngineFail) {
  BASS_Free();
  EXPECT_EQ(BASS_StreamCreateFile(FALSE, fixture("pcm16.wav").path.c_str(), 0, 0, BASS_STREAM_DECODE), 0u);
  EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_INIT);
  EXPECT_FALSE(BASS_Free());
  ASSERT_TRUE(LYT_InitOffline(kRate));
  EXPECT_FALSE(LYT_InitOffline(kRate));
  EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_ALREADY);
  EXPECT_GE(BASS_GetVersion(), 2u);
}

} // namespace
} // namespace lyt::test
