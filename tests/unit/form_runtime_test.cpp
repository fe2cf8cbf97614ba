// The form runtime on the headless platform: a form's life, its timers and its controls' events.

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "forms/controls.h"
#include "forms/form.h"
#include "forms/timer.h"
#include "headless/headless_runtime.h"
#include "headless/headless_window_system.h"

namespace tavoro::forms {
namespace {

using platform::headless::HeadlessRuntime;
using platform::headless::HeadlessWindowSystem;

class TestForm final : public Form {
 public:
  TestForm(HeadlessRuntime& headless, WindowSystem& windows)
      : Form(headless.runtime(), windows, "frmTest", "Test", {0, 0, 2000, 1000},
             BorderStyle::FixedSingle),
        Text1(*this, "Text1", {0, 0, 100, 100}),
        List1(*this, "List1", {0, 0, 100, 100}),
        timFlash(*this, "timFlash", 500) {
    Text1.Change = [this] { log.push_back("change:" + Text1.text()); };
    timFlash.Tick = [this] {
      log.push_back("tick@" + std::to_string(runtime().clock.Milliseconds()));
      if (stop_on_tick)
        timFlash.set_enabled(false);
    };
  }

  TextBox Text1;
  ListBox List1;
  Timer timFlash;
  std::vector<std::string> log;
  bool stop_on_tick = false;
  bool cancel_close = false;

 protected:
  void Form_Load() override { log.push_back("load"); }
  void Form_QueryUnload(bool& cancel, CloseReason reason) override {
    log.push_back(reason == CloseReason::User ? "query:user" : "query:code");
    cancel = cancel_close;
  }
  void Form_Unload() override { log.push_back("unload"); }
};

class FormRuntime : public ::testing::Test {
 protected:
  HeadlessRuntime headless_;
  HeadlessWindowSystem windows_;
  std::unique_ptr<TestForm> form_ = std::make_unique<TestForm>(headless_, windows_);
};

TEST_F(FormRuntime, LoadsOnceAndCancelledCloseKeepsTheForm) {
  form_->Show();
  form_->Show();
  EXPECT_EQ(form_->log, (std::vector<std::string>{"load"}));
  EXPECT_EQ(windows_.shows().size(), 2u) << "a second Show brings the form forward";

  form_->cancel_close = true;
  EXPECT_FALSE(form_->RequestClose());
  EXPECT_TRUE(form_->loaded());
  form_->cancel_close = false;
  EXPECT_TRUE(form_->Unload());
  EXPECT_EQ(form_->log, (std::vector<std::string>{"load", "query:user", "query:code", "unload"}));
  EXPECT_EQ(windows_.OpenForm("frmTest"), nullptr);
}

TEST_F(FormRuntime, TimerTicksOnlyWhileEnabledAndLoadedAndKeepsItsRhythm) {
  form_->timFlash.set_enabled(true);
  headless_.loop.RunFor(1000);
  EXPECT_TRUE(form_->log.empty()) << "a form that is not loaded has no running timers";

  form_->Load();
  form_->log.clear();
  headless_.loop.RunFor(1000);
  form_->timFlash.set_enabled(true);  // already on: the rhythm stays
  headless_.loop.RunFor(600);
  EXPECT_EQ(form_->log, (std::vector<std::string>{"tick@1500", "tick@2000", "tick@2500"}));

  form_->log.clear();
  form_->stop_on_tick = true;  // the one-shot pattern: a tick that disables its own timer
  headless_.loop.RunFor(2000);
  EXPECT_EQ(form_->log, (std::vector<std::string>{"tick@3000"}));

  form_->log.clear();
  form_->timFlash.set_enabled(true);
  form_->Unload();
  headless_.loop.RunFor(2000);
  EXPECT_EQ(form_->log, (std::vector<std::string>{"query:code", "unload"}));
}

TEST_F(FormRuntime, TextChangesRaiseChangeOnceAndListSelectionFollowsRemovals) {
  form_->Text1.set_text("a");
  form_->Text1.set_text("a");
  form_->Text1.UserEdits("ab");
  form_->Text1.set_text("");
  EXPECT_EQ(form_->log, (std::vector<std::string>{"change:a", "change:ab", "change:"}));

  ListBox& list = form_->List1;
  for (const char* item : {"x", "y", "z"})
    list.AddItem(item);
  list.set_list_index(2);
  list.RemoveItem(0);
  EXPECT_EQ(list.list_index(), 1);
  list.RemoveItem(1);
  EXPECT_EQ(list.list_index(), ListBox::kNoSelection);
  list.set_list_index(5);
  EXPECT_EQ(list.list_index(), ListBox::kNoSelection);
  EXPECT_EQ(list.items(), (std::vector<std::string>{"y"}));
}

}  // namespace
}  // namespace tavoro::forms
