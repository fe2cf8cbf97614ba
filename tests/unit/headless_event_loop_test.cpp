#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "headless/headless_event_loop.h"

namespace tavoro::platform::headless {
namespace {

using ::testing::ElementsAre;

class HeadlessEventLoopTest : public ::testing::Test {
 protected:
  // Records what ran and when, in virtual milliseconds.
  std::function<void()> Log(std::string what) {
    return [this, what] { log_.push_back(what + "@" + std::to_string(clock_.Milliseconds())); };
  }

  VirtualClock clock_;
  HeadlessEventLoop loop_{clock_};
  std::vector<std::string> log_;
};

TEST_F(HeadlessEventLoopTest, SleepDeliversNothingAndDoEventsDeliversPostedBeforeTicks) {
  loop_.SetTimer(100, Log("tick"));
  loop_.Post(300, Log("late"));
  loop_.Post(200, Log("first"));
  loop_.Post(200, Log("second"));
  loop_.Post(400, Log("not due"));
  loop_.Sleep(350);
  EXPECT_TRUE(log_.empty());
  loop_.DoEvents();
  EXPECT_THAT(log_, ElementsAre("first@350", "second@350", "late@350", "tick@350"));
}

TEST_F(HeadlessEventLoopTest, MissedTicksMergeIntoOneAndTheTimerKeepsItsCadence) {
  loop_.SetTimer(100, Log("tick"));
  loop_.Sleep(350);
  loop_.DoEvents();
  loop_.DoEvents();
  loop_.RunFor(150);
  EXPECT_THAT(log_, ElementsAre("tick@350", "tick@400", "tick@500"));
}

TEST_F(HeadlessEventLoopTest, EventsAHandlerPostsForNowArriveInTheSameDoEvents) {
  loop_.Post(0, [this] {
    loop_.Post(0, Log("now"));
    loop_.Post(1, Log("later"));
  });
  loop_.DoEvents();
  EXPECT_THAT(log_, ElementsAre("now@0"));
}

TEST_F(HeadlessEventLoopTest, ATickCanKillItsOwnTimerAndAnotherOneAlreadyDue) {
  TimerId own = 0;
  TimerId other = 0;
  auto captured = std::make_shared<std::string>("still alive");
  own = loop_.SetTimer(100, [this, &own, &other, captured] {
    loop_.KillTimer(own);
    loop_.KillTimer(other);
    log_.push_back(*captured);
  });
  other = loop_.SetTimer(100, Log("other"));
  captured.reset();
  loop_.RunFor(1000);
  EXPECT_THAT(log_, ElementsAre("still alive"));
}

TEST_F(HeadlessEventLoopTest, AHandlerThatPumpsReceivesWhatFallsDueInsideItsWait) {
  loop_.SetTimer(100, Log("tick"));
  loop_.Post(100, [this] {
    loop_.Post(50, Log("peer"));
    for (int pass = 0; pass < 3; ++pass) {
      loop_.Sleep(60);
      loop_.DoEvents();
    }
    log_.push_back("wait ends");
  });
  loop_.RunFor(300);
  EXPECT_THAT(log_, ElementsAre("peer@160", "tick@160", "tick@220", "wait ends", "tick@300"));
}

TEST_F(HeadlessEventLoopTest, RunEndsOnQuitAtItsLimitOrWhenNothingIsLeft) {
  const TimerId timer = loop_.SetTimer(1000, [] {});
  loop_.Post(5000, [this] {
    loop_.RequestQuit();
    loop_.Post(0, Log("drained before quitting"));
  });
  loop_.Run();
  EXPECT_EQ(loop_.last_run_outcome(), RunOutcome::Quit);
  EXPECT_THAT(log_, ElementsAre("drained before quitting@5000"));

  loop_.SetRunLimit(60'000);
  loop_.Run();
  EXPECT_EQ(loop_.last_run_outcome(), RunOutcome::TimeLimit);
  EXPECT_EQ(clock_.Milliseconds(), 65'000u);

  loop_.KillTimer(timer);
  loop_.Post(10, [] {});
  loop_.Run();
  EXPECT_EQ(loop_.last_run_outcome(), RunOutcome::Idle);
  EXPECT_EQ(clock_.Milliseconds(), 65'010u);
}

}  // namespace
}  // namespace tavoro::platform::headless
