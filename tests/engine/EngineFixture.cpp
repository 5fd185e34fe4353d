// Opening and rendering through the facade, the way the player does.
#include "EngineFixture.h"

namespace lyt::test {

Opened openLikeThePlayer(const std::string &path) {
  Opened opened;
  DWORD tries = 0;
  opened.source = LYT_OpenFile(path.c_str(), BASS_STREAM_DECODE, 0x208204, &tries);
  opened.error = BASS_ErrorGetCode();
  if (opened.source)
    opened.by = tries == 1 ? Opened::By::Stream : tries == 2 ? Opened::By::Wma : Opened::By::Music;
  return opened;
}

double lengthSeconds(const Opened &opened) {
  LYT_AwaitExactLength(opened.source); // a long MP3 opens with an estimate
  const QWORD bytes = opened.by == Opened::By::Music ? BASS_MusicGetLength(opened.source, TRUE)
                                                     : BASS_StreamGetLength(opened.source);
  return BASS_ChannelBytes2Seconds(opened.source, bytes);
}

DWORD OfflineEngine::openAndPlay(const std::string &path) {
  const Opened opened = openLikeThePlayer(path);
  EXPECT_NE(opened.source, 0u) << path << " did not open, error " << opened.error;
  EXPECT_TRUE(BASS_FX_TempoCreate(opened.source, 0));
  const DWORD output = BASS_FX_TempoGetResampledHandle(opened.source);
  EXPECT_NE(output, 0u);
  EXPECT_TRUE(BASS_StreamPlay(output, FALSE, BASS_SAMPLE_LOOP));
  return opened.source;
}

std::vector<float> renderOutput(DWORD output, size_t maxFrames) {
  std::vector<float> all;
  std::vector<float> chunk(2 * 8192);
  while (all.size() / 2 < maxFrames) {
    const DWORD want = static_cast<DWORD>(std::min<size_t>(8192, maxFrames - all.size() / 2));
    const DWORD got = LYT_RenderOffline(output, chunk.data(), want);
    all.insert(all.end(), chunk.begin(), chunk.begin() + 2 * got);
    if (got < want)
      break;
  }
  return all;
}

} // namespace lyt::test
