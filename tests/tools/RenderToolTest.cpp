// lyt2-render as a user runs it: what it prints, what it writes, how it fails.
#include "support/AudioFiles.h"
#include "support/Fixtures.h"
#include "support/Signals.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <sys/wait.h>

namespace lyt::test {
namespace {

struct ToolRun {
  int status;
  std::string out;
};

ToolRun run(const std::string &arguments) {
  const std::string command = std::string(LYT_RENDER_TOOL) + " " + arguments + " 2>&1";
  FILE *pipe = popen(command.c_str(), "r");
  ToolRun result{-1, {}};
  char buffer[256];
  while (pipe && fgets(buffer, sizeof buffer, pipe))
    result.out += buffer;
  if (pipe)
    result.status = WEXITSTATUS(pclose(pipe));
  return result;
}

std::string quoted(const std::string &path) {
  return "'" + path + "'";
}

TEST(RenderTool, WritesWhatTheListenerHearsAndPrintsTheLength) {
  const std::string out = scratchPath("slow.wav");
  const std::string tone = writeWav("tone22k.wav", sine(440, 3, 22050, 1), 22050, 1);
  const ToolRun r = run(quoted(tone) + " " + quoted(out) + " --tempo -50 --pitch 0 --volume 50 --start 1");
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_NE(r.out.find("length 3.000\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("time "), std::string::npos) << r.out;
  int channels = 0;
  const std::vector<float> written = decodeWithSndfile(out, channels);
  ASSERT_EQ(channels, 2);
  EXPECT_NEAR(written.size() / 2.0 / 44100, 4.0, 0.05) << "two seconds at half speed";
  const std::vector<float> left = channel(written, 2, 0);
  EXPECT_NEAR(frequencyByZeroCrossings(left, 44100, 4096), 440, 5);
  EXPECT_NEAR(rms(left, 4096, 44100), 0.5 * 0.5 / std::sqrt(2), 0.01) << "at half volume";
}

TEST(RenderTool, LengthOptionAndEqualiserPositions) {
  const std::string out = scratchPath("part.wav");
  const ToolRun r =
      run(quoted(fixture("tone.flac").path) + " " + quoted(out) + " --length 1.5 --eq 10,10,10,0,10,19");
  ASSERT_EQ(r.status, 0) << r.out;
  int channels = 0;
  EXPECT_NEAR(decodeWithSndfile(out, channels).size() / 2.0 / 44100, 1.5, 1e-3);
}

TEST(RenderTool, ClarityOptionsCombineWithTheOthers) {
  std::vector<float> stereo = sine(440, 2, 44100, 2, 0.3f);
  for (size_t i = 1; i < stereo.size(); i += 2)
    stereo[i] = 0; // nothing on the right
  const std::string in = writeWav("left-only.wav", stereo, 44100, 2), out = scratchPath("right.wav");
  const ToolRun r = run(quoted(in) + " " + quoted(out) + " --channel right --level --denoise --volume 50 --length 1");
  ASSERT_EQ(r.status, 0) << r.out;
  int channels = 0;
  const std::vector<float> written = decodeWithSndfile(out, channels);
  EXPECT_LT(rms(channel(written, 2, 0)), 1e-3) << "the silent right channel, on both ears";
}

TEST(RenderTool, ABadFileOrBadArgumentsSayWhy) {
  const ToolRun missing = run(quoted(scratchPath("nothing.mp3")) + " " + quoted(scratchPath("x.wav")));
  EXPECT_EQ(missing.status, 2);
  EXPECT_NE(missing.out.find("BASS Error Code: 2"), std::string::npos) << missing.out;
  const ToolRun bad =
      run(quoted(fixture("pcm16.wav").path) + " " + quoted(scratchPath("y.wav")) + " --tempo 500");
  EXPECT_EQ(bad.status, 1);
  EXPECT_NE(bad.out.find("--tempo wants a number from -50 to 300, not '500'"), std::string::npos) << bad.out;
  const ToolRun channel =
      run(quoted(fixture("pcm16.wav").path) + " " + quoted(scratchPath("y.wav")) + " --denoise --channel middle");
  EXPECT_EQ(channel.status, 1) << "a bad argument, as the others";
  EXPECT_NE(channel.out.find("--channel wants both, left or right, not 'middle'"), std::string::npos) << channel.out;
  const ToolRun help = run("--help");
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("usage: lyt2-render"), std::string::npos);
  const ToolRun unwritable =
      run(quoted(fixture("pcm16.wav").path) + " " + quoted(scratchPath("no/such/dir/z.wav")));
  EXPECT_EQ(unwritable.status, 3) << unwritable.out;
  EXPECT_NE(unwritable.out.find("cannot write " + scratchPath("no/such/dir/z.wav")), std::string::npos)
      << unwritable.out;
}

} // namespace
} // namespace lyt::test
