// The pauses of speech at work: the rewind of a stop that goes on to the start of the phrase, and
// the previous- and next-phrase commands.
#include "CommonTypes.h"
#include "MainWindowFixture.h"
#include "Player.h"
#include "RecordingAnalysis.h"
#include "SpeedButton.h"
#include "TrackBar.h"
#include "support/Fixtures.h"
#include "support/Signals.h"
#include "support/WaitUntil.h"

using namespace lyt::test;

namespace {

constexpr double kTolerance = 0.03;

// Phrases of 3.0, 4.0, 3.5 and 3.0 s parted by pauses of 0.6, 0.8 and 0.5 s: the phrases start
// at 0, 3.6, 8.4 and 12.4 s.
class Phrases : public MainWindowTest {
protected:
  void SetUp() override {
    MainWindowTest::SetUp();
    static const std::string recording =
        writeWav("phrases.wav", phrasesAndPauses({3.0, 0.6, 4.0, 0.8, 3.5, 0.5, 3.0}, 44100), 44100, 1);
    start(recording);
    ASSERT_TRUE(window->Analysis);
    ASSERT_TRUE(waitUntil([&] { return window->Analysis->state() == lyt::RecordingAnalysis::State::Ready; }));
  }
  double heard() const { return window->HeardSeconds(); }
  void playAndStopAt(double seconds) {
    window->SpdBtn_PlayStop->setDown(true);
    window->SpdBtn_PlayStopClick();
    window->SeekExact(seconds);
    window->SpdBtn_PlayStop->setDown(false);
    window->SpdBtn_PlayStopClick();
    ASSERT_EQ(window->Playing, 0);
  }
  void command(int id) {
    window->ThePlayer->post(id, Player::Key::Pressed);
    runPosted();
  }
};

TEST_F(Phrases, TheRewindOfAStopInMidPhraseLandsAtThePhrasesStart) {
  Settings.RevSec = 1;
  Settings.RewindToPause = true;
  playAndStopAt(9.7);
  EXPECT_NEAR(heard(), 8.4, kTolerance) << "back a second, then on to the end of the pause before";
  EXPECT_EQ(window->hsPosition->Position(), 8);
  playAndStopAt(7.5);
  EXPECT_NEAR(heard(), 6.5, kTolerance) << "the phrase began more than two seconds further back";
  playAndStopAt(13.1);
  EXPECT_NEAR(heard(), 12.4, kTolerance) << "landing in a pause goes to its end, the phrase's first word";
  Settings.RewindToPause = false;
  playAndStopAt(9.7);
  EXPECT_EQ(heard(), 8.0) << "the option off: the bar's second less RevSec";
  Settings.RewindToPause = true;
  window->Analysis.reset();
  playAndStopAt(9.7);
  EXPECT_EQ(heard(), 8.0) << "without the pauses, as with the option off";
}

TEST_F(Phrases, TheTwoCommandsJumpFromPhraseStartToPhraseStart) {
  window->SeekExact(9.7);
  for (const double expected : {12.4, 12.4}) {
    command(NextPhraseCommand);
    EXPECT_NEAR(heard(), expected, kTolerance) << "no phrase after the last";
  }
  for (const double expected : {8.4, 3.6, 0.0}) {
    command(PreviousPhraseCommand);
    EXPECT_NEAR(heard(), expected, kTolerance);
  }
  window->SeekExact(6.0);
  command(PreviousPhraseCommand);
  EXPECT_NEAR(heard(), 3.6, kTolerance) << "within a phrase: back to its start";
  EXPECT_EQ(window->Playing, 0) << "a jump does not start playback";
}

} // namespace
