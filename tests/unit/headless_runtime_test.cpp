#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <stdexcept>

#include "headless/headless_runtime.h"

namespace tavoro::platform::headless {
namespace {

using ::testing::ElementsAre;

TEST(HeadlessProcess, EndUnwindsPastTheProgramsOwnFailureHandlers) {
  HeadlessRuntime headless;
  Runtime runtime = headless.runtime();
  bool resumed_after_end = false;
  runtime.loop.SetTimer(100, [&runtime, &resumed_after_end] {
    try {
      runtime.process.End();
    } catch (const std::exception&) {
      resumed_after_end = true;
    }
  });
  EXPECT_THROW(runtime.loop.Run(), ProgramEnded);
  EXPECT_TRUE(headless.process.ended());
  EXPECT_FALSE(resumed_after_end);
  EXPECT_EQ(headless.clock.Milliseconds(), 100u);
}

TEST(RecordedMessageBoxes, KeepsEveryBoxAndLetsTheResponderPumpWhileOneIsUp) {
  HeadlessRuntime headless;
  Runtime runtime = headless.runtime();
  std::vector<std::string> seen_while_up;
  runtime.loop.SetTimer(500, [&seen_while_up] { seen_while_up.push_back("tick"); });
  headless.boxes.SetResponder([&](const ShownMessageBox& box) {
    seen_while_up.push_back(box.title);
    if (box.icon == MsgBoxIcon::Exclamation) {
      headless.loop.RunFor(1200);  // the user reads the message for a while
      runtime.boxes.MsgBox("二つ目", MsgBoxIcon::Information, "Nested");
    }
  });

  runtime.boxes.MsgBox("接続できません。\r\n再起動してください。", MsgBoxIcon::Exclamation,
                       "Tavorophone");

  EXPECT_THAT(seen_while_up, ElementsAre("Tavorophone", "tick", "tick", "Nested"));
  EXPECT_THAT(headless.boxes.shown(),
              ElementsAre(ShownMessageBox{"接続できません。\r\n再起動してください。",
                                          MsgBoxIcon::Exclamation, "Tavorophone"},
                          ShownMessageBox{"二つ目", MsgBoxIcon::Information, "Nested"}));
}

}  // namespace
}  // namespace tavoro::platform::headless
