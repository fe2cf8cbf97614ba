// Many random calls of both directions through one running program leave it idle as after
// start-up, nothing held or lost. TAVORO_SOAK_CALLS sets their number (default 2,000).
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <tuple>

#include "app/softphone_queue.h"
#include "bridge_harness.h"

namespace tavoro::app::testing {
namespace {

using platform::headless::ScriptedCall;
using ::testing::IsEmpty;

int SoakCalls() {
  const char* text = std::getenv("TAVORO_SOAK_CALLS");
  return text && std::atoi(text) > 0 ? std::atoi(text) : 2000;
}

class Soak {
 public:
  Soak() {
    EXPECT_FALSE(bridge.Start());
    bridge.skype->WhenCallPlaced([this](const std::shared_ptr<ScriptedCall>& call) {
      EXPECT_EQ(bridge.main->detection_light.back_color(), kDetectRingColor);
      const std::uint64_t now = bridge.Now();
      switch (Pick(10)) {
        case 0:
          break;  // nobody answers: the call is given up after 45 s
        case 1:
        case 2:
          bridge.skype->RemoteRefusesAt(now + 500 + Pick(8000), call);
          break;
        default: {
          const std::uint64_t answered = now + 500 + Pick(8000);
          bridge.skype->RemoteAnswersAt(answered, call);
          const std::uint64_t last = Keys(call, answered + 700);
          bridge.skype->RemoteFinishesAt(last + 200 + Pick(3000), call);
        }
      }
    });
  }

  bool Idle() {
    const SoftphoneQueue& queue = bridge.main->bridge().softphone_queue();
    return bridge.Listening() && !queue.running() && queue.waiting() == 0 &&
           bridge.headless.loop.pending_event_count() == 0;
  }
  bool RunUntilIdle() {
    for (int i = 0; i < 400; ++i) {
      if (bridge.RunFor(250))
        return false;
      if (Idle())
        return true;
    }
    return false;
  }

  void Incoming() {
    static const char* const kCallers[] = {"alice", "bob", "stranger", ""};
    const std::uint64_t ring = bridge.Now() + 50 + Pick(500);
    auto call = bridge.skype->RingAt(ring, kCallers[Pick(4)],
                                     Pick(2) ? platform::skype_call_type::kIncomingP2p
                                             : platform::skype_call_type::kIncomingPstn);
    const std::uint64_t last = Keys(call, ring + Pick(1200));
    bridge.skype->RemoteFinishesAt(last + Pick(1500), call);
  }

  // True once the ring was heard and the Skype user called.
  bool Outgoing() {
    const std::size_t placed = bridge.skype->placed_calls().size();
    // Quiet, then loud: the ring is heard whatever the warm-up had reached.
    std::vector<int> ring(150 + Pick(50), 5);
    ring.insert(ring.end(), 40, 40 + static_cast<int>(Pick(90)));
    bridge.PlayLevels(ring);
    for (int i = 0; i < 40 && bridge.skype->placed_calls().size() == placed; ++i) {
      if (bridge.RunFor(100))
        return false;
    }
    return bridge.skype->placed_calls().size() == placed + 1;
  }

  // Random keypad codes, some arriving faster than they can be typed; the last one's time.
  std::uint64_t Keys(const std::shared_ptr<ScriptedCall>& call, std::uint64_t at) {
    static const char* const kCodes[] = {"0", "1", "2", "3", "4", "5", "6",
                                         "7", "8", "9", "*", "#", "A"};
    const int count = static_cast<int>(Pick(9));
    for (int i = 0; i < count; ++i) {
      at += 20 + Pick(500);
      bridge.skype->SendDtmfAt(at, call, kCodes[Pick(13)]);
    }
    return at;
  }

  std::uint64_t Pick(std::uint64_t below) {
    return std::uniform_int_distribution<std::uint64_t>(0, below - 1)(random_);
  }

  Bridge bridge;

 private:
  std::mt19937_64 random_{20261206};
};

TEST(BridgeSoak, ManyCallsOfBothDirectionsEndIdleWithNothingHeldOrLost) {
  Soak soak;
  Bridge& bridge = soak.bridge;
  const int calls = SoakCalls();
  int outgoing = 0;
  for (int i = 0; i < calls; ++i) {
    if (soak.Pick(3) == 0) {
      ++outgoing;
      ASSERT_TRUE(soak.Outgoing()) << "call " << i;
    } else {
      soak.Incoming();
    }
    ASSERT_TRUE(soak.RunUntilIdle()) << "call " << i << " at " << bridge.Now();
    ASSERT_THAT(bridge.headless.boxes.shown(), IsEmpty()) << "call " << i;
  }
  // Let the last ring play out into silence and the program settle.
  bridge.wave_in.Play(bridge.device, platform::headless::Silence());
  ASSERT_TRUE(soak.RunUntilIdle());
  ASSERT_FALSE(bridge.RunFor(10'000));

  frmMain& main = *bridge.main;
  EXPECT_GT(outgoing, calls / 4);
  EXPECT_EQ(bridge.skype->placed_calls().size(), static_cast<std::size_t>(outgoing));
  EXPECT_TRUE(soak.Idle() && bridge.meter.capturing());
  EXPECT_EQ(std::tuple(main.bridge().flags().NumberDialled, main.bridge().flags().forward_waiting,
                       main.softphone_state_box.text(), main.softphone_state_box.back_color(),
                       main.detection_light.back_color()),
            std::tuple(false, false, std::string("待機中"), forms::kWindowColor, kDetectIdleColor));
  EXPECT_THAT(bridge.softphone.lost_keys(), IsEmpty());
  EXPECT_THAT(bridge.wave_in.misuse(), IsEmpty());
  EXPECT_EQ(std::pair(bridge.wave_in.open_handles(), bridge.wave_in.live_buffers()),
            (std::pair<std::size_t, std::size_t>(1, 2)));
  // Every ^h / {ENTER} pair and every key followed its own activations: never more keys than
  // activations, and the last key string typed was a hang-up.
  EXPECT_LE(bridge.Keys().size(), bridge.softphone.activations(bridge.xlite).size());
  EXPECT_EQ(bridge.Keys().back(), "^h");
}

}  // namespace
}  // namespace tavoro::app::testing
