// The softphone stand-in (sim/xlite) on the display's keyboard layout. The end-to-end runs,
// which drive it through the whole gateway, can catch keys typed as text or for another layout
// only because it takes no more than a keyboard of that layout gives it; and they time what it
// logs on the clock their own process reads.

#include <gtest/gtest.h>

#include <windows.h>

#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "desktop/peers.h"
#include "win32/wide_text.h"
#include "win32/win32_softphone_window.h"
#include "win32_test_support.h"
#include "xlite/log_clock.h"

namespace tavoro::platform::win32 {
namespace {

INPUT Key(WORD vk, DWORD flags, WORD scan = 0) {
  INPUT input{};
  input.type = INPUT_KEYBOARD;
  input.ki.wVk = vk;
  input.ki.wScan = scan;
  input.ki.dwFlags = flags;
  return input;
}

TEST(XLiteStandIn, DialsOnlyWithTheKeysOfItsKeyboardLayoutNeverWithText) {
  // What the display's keyboard layout (TAVORO_KEYMAP, set by the test harness) makes of
  // Shift+8 and of Shift with VK_OEM_1, as the softphone logs them: one of them is its "*" key.
  const std::map<std::string, std::pair<std::string, std::string>> layouts = {
      {"jp", {"key Shift+VK_38 ignored", "key Shift+VK_BA *"}},
      {"us", {"key Shift+VK_38 *", "key Shift+VK_BA ignored"}}};
  const auto shifted = layouts.find(Narrow(e2e::Environment(L"TAVORO_KEYMAP")));
  if (shifted == layouts.end())
    GTEST_SKIP() << "TAVORO_KEYMAP does not say the display's keyboard layout (jp or us)";
  const testing::ScratchFolder folder(testing::TempPath(L"tavoro-xlite"));
  const std::wstring log = folder.path() + L"\\log.txt";
  const testing::ScopedVariable sim(L"TAVORO_E2E_SIM", testing::BuildFile(L"sim"));
  const std::uint64_t before = sim::xlite::UnixMilliseconds();
  e2e::XLite xlite(log);
  ASSERT_TRUE(xlite.running()) << "xlite.exe did not show its window";
  ASSERT_TRUE(Win32SoftphoneWindow().BringToForeground(
      WindowHandle{reinterpret_cast<std::uintptr_t>(xlite.window())}));

  // Each press with its modifiers held around it, and the line the softphone must log of it.
  struct Press {
    std::vector<WORD> modifiers;
    WORD vk;
    std::string logged;
  };
  const std::vector<Press> presses = {{{VK_SHIFT}, '0', "key Shift+VK_30 ignored"},
                                      {{VK_CONTROL, VK_SHIFT}, 'H', "key Ctrl+Shift+VK_48 ignored"},
                                      {{VK_MENU}, 'H', "key Alt+VK_48 ignored"},
                                      {{VK_SHIFT}, '8', shifted->second.first},
                                      {{VK_SHIFT}, VK_OEM_1, shifted->second.second},
                                      {{VK_SHIFT}, VK_RETURN, "key Shift+VK_0D ignored"},
                                      {{VK_CONTROL}, VK_RETURN, "key Ctrl+VK_0D ignored"},
                                      {{}, VK_RETURN, "key VK_0D Enter"}};
  // First "5" as text, the way the driver once typed every key.
  std::vector<INPUT> inputs = {Key(0, KEYEVENTF_UNICODE, L'5'),
                               Key(0, KEYEVENTF_UNICODE | KEYEVENTF_KEYUP, L'5')};
  std::vector<std::string> expected = {"started", "key VK_E7 ignored"};
  for (const Press& press : presses) {
    for (const WORD modifier : press.modifiers)
      inputs.push_back(Key(modifier, 0));
    inputs.insert(inputs.end(), {Key(press.vk, 0), Key(press.vk, KEYEVENTF_KEYUP)});
    for (const WORD modifier : press.modifiers)
      inputs.push_back(Key(modifier, KEYEVENTF_KEYUP));
    expected.push_back(press.logged);
  }
  ASSERT_EQ(::SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT)),
            inputs.size());
  // Only the "*" of its own layout made it into the number.
  expected.push_back("dialled *");
  ASSERT_TRUE(xlite.WaitForLine("dialled *", testing::milliseconds(5000)));
  EXPECT_EQ(xlite.Lines(), expected);

  // On the clock this process reads too, in order.
  const std::uint64_t after = sim::xlite::UnixMilliseconds();
  std::ifstream in(std::filesystem::path(log), std::ios::binary);
  for (std::uint64_t ms = 0, previous = before; in >> ms; previous = ms) {
    in.ignore(1 << 16, '\n');
    EXPECT_GE(ms, previous);
    EXPECT_LE(ms, after);
  }
}

}  // namespace
}  // namespace tavoro::platform::win32
