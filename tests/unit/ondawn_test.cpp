// The first-run tool's whole run on the headless platform: registration or shortcuts, what the
// shortcuts hold, how the commands are waited for, and what is passed over when a step fails.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "headless/fixed_version_query.h"
#include "headless/headless_runtime.h"
#include "headless/headless_shell.h"
#include "headless/headless_window_system.h"
#include "headless/memory_registry.h"
#include "platform/paths.h"
#include "setup/frmOndawn.h"
#include "setup/modUAC.h"

namespace tavoro::setup {
namespace {

using platform::RegistryRoot;
using platform::Shortcut;
using platform::headless::HeadlessShell;
using platform::headless::StoredValue;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

constexpr char kApp[] = "C:\\Program Files\\Tavorophone";
constexpr std::uint64_t kRegsvrMs = 300;
const std::string kDesktopFolder = std::string(HeadlessShell::kDesktop) + "\\Tavorophone";
const std::string kProgramsFolder = std::string(HeadlessShell::kPrograms) + "\\Tavorophone";
const std::string kDesktopLink = kDesktopFolder + "\\Tavorophone.lnk";
const std::string kProgramsLink = kProgramsFolder + "\\Tavorophone.lnk";

// One machine: both "Tavorophone" sub-folders exist, regsvr32 runs for 300 ms, and the main
// program lies beside the tool.
struct Machine {
  explicit Machine(std::string_view app = kApp, std::uint32_t major = 6, std::uint32_t minor = 1,
                   bool desktop_folder = true) {
    headless.process.SetAppPath(std::string(app));
    version.Answer(2, major, minor);
    if (desktop_folder)
      shell.AddFolder(kDesktopFolder);
    shell.AddFolder(kProgramsFolder);
    shell.AddProgram("regsvr32", kRegsvrMs);
    shell.AddProgram(platform::JoinPath(app, "tavoro.exe"));
  }
  // Starts the tool as the system starts a program's first form: load, then show.
  void Run() {
    frmOndawn form(headless.runtime(), windows, registry, version, shell);
    form.Show();
    ran_unseen = !form.loaded() && windows.shows().empty();
  }

  platform::headless::HeadlessRuntime headless;
  platform::headless::HeadlessWindowSystem windows;
  platform::headless::MemoryRegistry registry;
  platform::headless::FixedVersionQuery version;
  HeadlessShell shell{headless.clock};
  bool ran_unseen = false;
};

const std::string kStartMain = "start \"C:\\Program Files\\Tavorophone\\tavoro.exe\"";

TEST(Ondawn, VersionAndUacChooseRegistrationOrShortcutsAndTheMainProgramAlwaysStarts) {
  // Only the machine's EnableLUA of 1 counts as on; an empty name sets no policy key at all.
  constexpr auto kMachine = RegistryRoot::LocalMachine;
  struct Case {
    const char* name;
    std::uint32_t major, minor;
    RegistryRoot root;
    std::string_view value_name;
    std::uint32_t value;
    bool commands, shortcuts;
  };
  const Case cases[] = {
      {"VISTA, UAC on", 6, 0, kMachine, kUacPolicyValue, 1, false, false},
      {"VISTA, UAC off", 6, 0, kMachine, kUacPolicyValue, 0, true, false},
      {"VISTA (6.2), no key", 6, 2, kMachine, "", 0, true, false},
      {"VISTA, no value", 6, 0, kMachine, "Other", 1, true, false},
      {"VISTA, 2", 6, 0, kMachine, kUacPolicyValue, 2, true, false},
      {"VISTA, the user's 1", 6, 0, RegistryRoot::CurrentUser, kUacPolicyValue, 1, true, false},
      {"7, UAC off", 6, 1, kMachine, kUacPolicyValue, 0, false, true},
      {"XP", 5, 1, kMachine, "", 0, false, true},
      {"2000, UAC on", 5, 0, kMachine, kUacPolicyValue, 1, false, true},
      {"no name", 10, 0, kMachine, kUacPolicyValue, 0, false, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Machine machine(kApp, c.major, c.minor);
    if (!c.value_name.empty())
      machine.registry.SetValue(c.root, kUacPolicyKey, c.value_name,
                                StoredValue{StoredValue::Type::Dword, "", c.value});
    machine.Run();

    std::vector<std::string> expected;
    for (const std::string_view command : kRegistrationCommands)
      if (c.commands)
        expected.push_back("start " + std::string(command));
    if (c.shortcuts) {
      expected.push_back("save " + kDesktopLink);
      expected.push_back("save " + kProgramsLink);
    }
    expected.push_back(kStartMain);
    EXPECT_THAT(machine.shell.journal(), ElementsAreArray(expected));
    EXPECT_TRUE(machine.headless.boxes.shown().empty());
    EXPECT_TRUE(machine.ran_unseen) << "the form unloads itself before it is shown";
  }
}

// A command that never ends is left after a minute, and the next steps still run.
TEST(Ondawn, EachCommandStartsMinimizedWhenThePreviousEndedAndMessagesArePumpedMeanwhile) {
  for (const std::uint64_t runs_for : {kRegsvrMs, HeadlessShell::kRunsForever}) {
    SCOPED_TRACE(runs_for);
    Machine machine(kApp, 6, 0);
    machine.shell.AddProgram("regsvr32", runs_for);
    std::vector<std::uint64_t> ticks;
    machine.headless.loop.SetTimer(100,
                                   [&] { ticks.push_back(machine.headless.clock.Milliseconds()); });
    machine.Run();

    const std::uint64_t each = std::min(runs_for, modUAC::kCommandLimitMs);
    const auto& starts = machine.shell.starts();
    ASSERT_EQ(starts.size(), 5u);
    for (std::size_t i = 0; i < 4; ++i) {
      SCOPED_TRACE(starts[i].command_line);
      EXPECT_EQ(starts[i].show, platform::WindowShow::MinimizedFocus);
      EXPECT_EQ(starts[i + 1].started_ms, starts[i].started_ms + each);
      EXPECT_TRUE(std::any_of(ticks.begin(), ticks.end(), [&](std::uint64_t t) {
        return t > starts[i].started_ms && t < starts[i].started_ms + each;
      }));
    }
    EXPECT_EQ(starts[4].show, platform::WindowShow::NormalFocus);
    EXPECT_EQ(starts[4].started_ms, 4 * each);
  }
}

TEST(Ondawn, CommandsThatCannotStartArePassedOverAndOnlyTheFirstStopsTheRest) {
  const struct {
    int failing;  // the command whose start fails
    std::vector<int> started;
  } cases[] = {{0, {}}, {1, {0, 2, 3}}, {3, {0, 1, 2}}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.failing);
    Machine machine;
    machine.shell.FailStart(kRegistrationCommands[c.failing]);
    modUAC(machine.registry, machine.shell, machine.headless.loop, machine.headless.clock)
        .ReregisterControls();
    std::vector<std::string> expected;
    for (const int i : c.started)
      expected.push_back("start " + std::string(kRegistrationCommands[i]));
    EXPECT_THAT(machine.shell.journal(), ElementsAreArray(expected));
  }
}

TEST(Ondawn, ShortcutsHoldTheMainProgramAndFolderAndAFailingPlaceIsPassedOver) {
  using Fault = std::function<void(HeadlessShell&)>;
  const auto none = [](HeadlessShell&) {};
  struct Case {
    const char* app;
    Fault fault;
    Shortcut shortcut;
    bool desktop = true, programs = true;
    bool desktop_folder = true;
  };
  const Shortcut usual{"C:\\Program Files\\Tavorophone\\tavoro.exe", kApp, 4};
  const Case cases[] = {
      {kApp, none, usual},
      {"T:\\", none, {"T:\\tavoro.exe", "T:\\", 4}},
      {"%TOOLS%\\タヴォロ", none, {"D:\\Apps\\タヴォロ\\tavoro.exe", "D:\\Apps\\タヴォロ", 4}},
      {kApp, [](HeadlessShell& s) { s.FailSpecialFolder(platform::SpecialFolder::Desktop); }, usual,
       false, true},
      {kApp, [](HeadlessShell& s) { s.FailSpecialFolder(platform::SpecialFolder::Programs); },
       usual, true, false},
      {kApp, [](HeadlessShell& s) { s.FailPath(kDesktopLink); }, usual, false, true},
      {kApp, none, usual, false, true, /*desktop_folder=*/false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.app << " " << c.desktop << c.programs);
    Machine machine(c.app, 5, 1, c.desktop_folder);
    machine.shell.SetEnvironment("tools", "D:\\Apps");
    c.fault(machine.shell);
    machine.Run();
    const auto made = [](bool wanted, const Shortcut& s) {
      return wanted ? std::optional(s) : std::nullopt;
    };
    EXPECT_EQ(machine.shell.ShortcutAt(kDesktopLink), made(c.desktop, c.shortcut));
    EXPECT_EQ(machine.shell.ShortcutAt(kProgramsLink), made(c.programs, c.shortcut));
    // Started by the folder as the system tells it, which holds no references to expand.
    EXPECT_EQ(machine.shell.journal().back(),
              "start \"" + platform::JoinPath(c.app, "tavoro.exe") + "\"");
  }
}

TEST(Ondawn, RunningTwiceReplacesEachShortcutSoOneRemainsPerPlace) {
  Machine machine;
  machine.Run();
  machine.Run();
  const auto& journal = machine.shell.journal();
  EXPECT_THAT(std::vector(journal.begin() + 3, journal.end()),
              ElementsAre("delete " + kDesktopLink, "delete " + kProgramsLink,
                          "save " + kDesktopLink, "save " + kProgramsLink, kStartMain));
}

TEST(Ondawn, AMainProgramThatCannotStartIsReportedByNameAndPath) {
  Machine machine;
  machine.headless.process.SetAppPath("C:\\ひかり電話");  // where no program lies
  machine.Run();
  EXPECT_TRUE(machine.ran_unseen);
  EXPECT_THAT(machine.headless.boxes.shown(),
              ElementsAre(platform::headless::ShownMessageBox{
                  "tavoro.exe を起動できませんでした。\r\nC:\\ひかり電話\\tavoro.exe",
                  platform::MsgBoxIcon::Exclamation, "Ondawn"}));
}

}  // namespace
}  // namespace tavoro::setup
