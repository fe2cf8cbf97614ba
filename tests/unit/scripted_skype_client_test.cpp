// The tests' Skype must answer and raise events as the library does, or the program's tests
// prove nothing about the program on a real desktop.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "headless/headless_runtime.h"
#include "headless/scripted_skype_client.h"

namespace tavoro::platform::headless {
namespace {

using ::testing::ElementsAre;

// Logs each event with the virtual time and what a handler reads from the call inside it.
class EventLog final : public SkypeEvents {
 public:
  explicit EventLog(VirtualClock& clock) : clock_(clock) {}
  void AttachmentStatus(std::int32_t status) override {
    Add("attachment " + std::to_string(status));
  }
  void CallStatus(std::shared_ptr<SkypeCall> call, std::int32_t status) override {
    Add("status " + std::to_string(status) + " " + call->PartnerHandle() + " type " +
        std::to_string(call->Type()));
  }
  void CallDtmfReceived(std::shared_ptr<SkypeCall> call, std::string code) override {
    Add("dtmf " + code + " " + call->PartnerHandle());
  }
  std::vector<std::string> events;

 private:
  void Add(const std::string& what) {
    events.push_back(what + "@" + std::to_string(clock_.Milliseconds()));
  }
  VirtualClock& clock_;
};

class ScriptedSkypeClientTest : public ::testing::Test {
 protected:
  ScriptedSkypeClientTest() { skype_.SetEventSink(&log_); }
  HeadlessRuntime rt_;
  ScriptedSkypeClient skype_{rt_.clock, rt_.loop};
  EventLog log_{rt_.clock};
};

TEST_F(ScriptedSkypeClientTest, ConvertsNamesAndStatusesAsTheLibraryDoes) {
  const std::vector<std::pair<std::string, std::int32_t>> attachment{{"AVAILABLE", 4},
                                                                     {"SUCCESS", 0},
                                                                     {"REFUSED", 2},
                                                                     {"NOT_AVAILABLE", -1},
                                                                     {"PENDING_AUTHORIZATION", -1}};
  for (const auto& [name, value] : attachment)
    EXPECT_EQ(skype_.TextToAttachmentStatus(name), value) << name;
  const std::vector<std::pair<std::string, std::int32_t>> call_status{
      {"RINGING", 4}, {"INPROGRESS", 5}, {"FINISHED", 7}, {"REFUSED", 9}, {"ringing", -1}};
  for (const auto& [name, value] : call_status)
    EXPECT_EQ(skype_.TextToCallStatus(name), value) << name;
  const std::vector<std::pair<std::string, std::int32_t>> call_type{
      {"INCOMING_PSTN", 0}, {"OUTGOING_PSTN", 1}, {"INCOMING_P2P", 2}, {"OUTGOING_P2P", 3}};
  for (const auto& [name, value] : call_type)
    EXPECT_EQ(skype_.TextToCallType(name), value) << name;
  const std::vector<std::pair<std::int32_t, std::string>> texts{{-1, "Unknown"},
                                                                {3, "Sorry, call failed!"},
                                                                {4, "Calling"},
                                                                {5, "Call in Progress"},
                                                                {7, "Finished"},
                                                                {9, "Refused"},
                                                                {14, "Buffering Greeting"}};
  for (const auto& [status, text] : texts)
    EXPECT_EQ(skype_.CallStatusToText(status), text) << status;
}

TEST_F(ScriptedSkypeClientTest, EventsArriveOnlyWhenPumpedAndCarryTheCallsNewState) {
  auto call = skype_.RingAt(1000, "+81312345678", skype_call_type::kIncomingPstn);
  skype_.SendDtmfAt(1500, call, "#");
  skype_.RemoteFinishesAt(3000, call);

  rt_.loop.Sleep(2000);
  EXPECT_TRUE(log_.events.empty());
  EXPECT_EQ(call->status(), skype_call_status::kUnplaced);
  rt_.loop.DoEvents();
  rt_.loop.RunFor(2000);
  EXPECT_THAT(log_.events,
              ElementsAre("status 4 +81312345678 type 0@2000", "dtmf # +81312345678@2000",
                          "status 7 +81312345678 type 0@3000"));

  skype_.SetEventSink(nullptr);
  skype_.RemoteRefusesAt(4000, call);
  rt_.loop.RunFor(2000);
  EXPECT_EQ(log_.events.size(), 3u);
  EXPECT_EQ(call->status(), skype_call_status::kRefused);
}

TEST_F(ScriptedSkypeClientTest, ActsOnCallsReturnAtOnceAndTheirStatusFollows) {
  auto incoming = skype_.RingAt(0, "alice");
  rt_.loop.DoEvents();
  rt_.clock.Advance(600);
  incoming->Answer();
  EXPECT_EQ(log_.events.size(), 1u);
  rt_.loop.DoEvents();
  incoming->Finish();
  rt_.loop.DoEvents();
  incoming->Answer();  // too late: nothing follows
  incoming->Finish();
  rt_.loop.DoEvents();
  EXPECT_THAT(incoming->answered_at(), ElementsAre(600, 600));
  EXPECT_THAT(incoming->finished_at(), ElementsAre(600, 600));

  skype_.WhenCallPlaced([this](const std::shared_ptr<ScriptedCall>& call) {
    skype_.RemoteAnswersAt(rt_.clock.Milliseconds() + 5000, call);
  });
  const std::string handle = skype_.User("bob")->Handle();
  auto placed = skype_.PlaceCall(handle, "", "", "");
  rt_.loop.RunFor(10'000);

  EXPECT_THAT(log_.events, ElementsAre("status 4 alice type 2@0", "status 5 alice type 2@600",
                                       "status 7 alice type 2@600", "status 1 bob type 3@600",
                                       "status 4 bob type 3@600", "status 5 bob type 3@5600"));
  ASSERT_EQ(skype_.placed_calls().size(), 1u);
  EXPECT_THAT(skype_.placed_calls()[0].targets, ElementsAre("bob", "", "", ""));
  EXPECT_EQ(skype_.placed_calls()[0].call, placed);
  EXPECT_THAT(skype_.users_asked(), ElementsAre("bob"));
}

struct AttachCase {
  AttachOutcome outcome;
  std::uint64_t takes_ms;
  std::int32_t code;  // 0: no failure
  std::string description;
  std::uint64_t blocked_ms;
  std::vector<std::string> events;
};

TEST_F(ScriptedSkypeClientTest, AttachBlocksForItsOutcomeAndRaisesOnlyChanges) {
  const std::vector<AttachCase> cases{
      {AttachOutcome::Succeed, 40, 0, "", 40, {"attachment 0@40"}},
      {AttachOutcome::Succeed, 40, 0, "", 40, {}},  // no change, no event
      {AttachOutcome::Refuse,
       0,
       skype_result::kConnectionRefused,
       "Connection refused.",
       0,
       {"attachment 2@80"}},
      {AttachOutcome::NotAvailable, 500, skype_result::kNotAttached, "Not attached.", 0, {}},
      {AttachOutcome::NoAnswer, 0, skype_result::kWaitTimeout, "Wait timeout.", 30'000, {}},
  };
  for (const AttachCase& c : cases) {
    log_.events.clear();
    skype_.ScriptAttach(c.outcome, c.takes_ms);
    const std::uint64_t before = rt_.clock.Milliseconds();
    try {
      skype_.Attach(5, true);
      EXPECT_EQ(c.code, 0);
    } catch (const SkypeError& error) {
      EXPECT_EQ(error.code(), c.code);
      EXPECT_EQ(error.description(), c.description);
    }
    EXPECT_EQ(rt_.clock.Milliseconds() - before, c.blocked_ms);
    EXPECT_TRUE(log_.events.empty());
    rt_.loop.DoEvents();
    EXPECT_EQ(log_.events, c.events);
  }
  EXPECT_EQ(skype_.attaches().size(), cases.size());
}

TEST_F(ScriptedSkypeClientTest, TheClientComesAndGoesAndUnscriptedAttachesFollowIt) {
  skype_.SetStartBringsClientUp(5000);
  skype_.ClientStart(false, false);
  rt_.clock.Advance(4999);
  EXPECT_FALSE(skype_.ClientIsRunning());
  EXPECT_THROW(skype_.Attach(5, true), SkypeError);
  rt_.clock.Advance(1);
  EXPECT_TRUE(skype_.ClientIsRunning());
  skype_.Attach(5, true);
  skype_.ClientGoesAwayAt(6000);
  skype_.ClientAnnouncesItselfAt(7000);
  rt_.loop.RunFor(3000);

  EXPECT_THAT(log_.events,
              ElementsAre("attachment 0@5000", "attachment 3@6000", "attachment 4@7000"));
  ASSERT_EQ(skype_.starts().size(), 1u);
  EXPECT_FALSE(skype_.starts()[0].minimized);
  EXPECT_FALSE(skype_.starts()[0].nosplash);
  EXPECT_THAT(skype_.attaches(), ::testing::SizeIs(2));
  EXPECT_EQ(skype_.attaches()[0].outcome, AttachOutcome::NotAvailable);
}

TEST_F(ScriptedSkypeClientTest, InjectedFailuresLastForTheirCountAndAreCounted) {
  skype_.Fail(SkypeOperation::CallAnswer, SkypeError(-2147220992, "ANSWER failed"), 1);
  skype_.Fail(SkypeOperation::TextToCallStatus, SkypeError(1, "gone"));
  auto call = skype_.RingAt(0, "alice");
  rt_.loop.DoEvents();
  EXPECT_THROW(call->Answer(), SkypeError);
  call->Answer();
  for (int i = 0; i < 3; ++i)
    EXPECT_THROW(skype_.TextToCallStatus("RINGING"), SkypeError);
  skype_.StopFailing(SkypeOperation::TextToCallStatus);
  EXPECT_EQ(skype_.TextToCallStatus("RINGING"), 4);

  EXPECT_THAT(call->answered_at(), ElementsAre(0));
  EXPECT_EQ(skype_.calls_of(SkypeOperation::CallAnswer), 2u);
  EXPECT_EQ(skype_.calls_of(SkypeOperation::TextToCallStatus), 4u);
}

}  // namespace
}  // namespace tavoro::platform::headless
