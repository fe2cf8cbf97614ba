// The help viewer on the built Tavoro.chm: it opens on the contents, with the Japanese titles
// of the contents and the index intact after their trip through Shift_JIS, from folders whose
// names the ANSI code page can and cannot hold; a missing file opens and shows nothing.
//
// Under the harness Wine's HTML engine is switched off, so the pages themselves stay blank;
// the viewer's frame, contents tree and index list do not need it.

#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "win32/owned_handles.h"
#include "win32/wide_text.h"
#include "win32/win32_help_viewer.h"
#include "win32_test_support.h"

namespace tavoro::platform::win32 {
namespace {

using testing::ProgramFile;

// The first window of the class among the window's descendants.
HWND Descendant(HWND parent, const wchar_t* class_name) {
  for (HWND child = ::GetWindow(parent, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT)) {
    wchar_t name[64] = {};
    ::GetClassNameW(child, name, 64);
    if (std::wstring(name) == class_name)
      return child;
    if (const HWND found = Descendant(child, class_name))
      return found;
  }
  return nullptr;
}

std::vector<std::string> TopLevelTopics(HWND tree) {
  std::vector<std::string> names;
  for (auto item = TreeView_GetRoot(tree); item; item = TreeView_GetNextSibling(tree, item)) {
    wchar_t text[256] = {};
    TVITEMW request{};
    request.mask = TVIF_TEXT;
    request.hItem = item;
    request.pszText = text;
    request.cchTextMax = 256;
    ::SendMessageW(tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&request));
    names.push_back(Narrow(text));
  }
  return names;
}

TEST(Win32HelpViewer, AMissingFileOpensAndShowsNothing) {
  Win32HelpViewer viewer;
  EXPECT_EQ(viewer.DisplayContents(WindowHandle{}, Narrow(ProgramFile(L"no-such-help.chm"))),
            WindowHandle{});
  testing::WaitUntil([] { return false; }, testing::milliseconds(300));
  EXPECT_TRUE(e2e::WindowsOf(::GetCurrentProcessId()).empty())
      << "a window appeared: " << e2e::DescribeWindows(::GetCurrentProcessId());
}

TEST(Win32HelpViewer, OpensTheBuiltHelpOnItsJapaneseContentsFromAnyFolder) {
  const struct {
    const wchar_t* folder;
    const char* why;
  } cases[] = {
      {L"ヘルプ テスト", "a name Shift_JIS holds"},
      // Korean has no place in code page 932: the viewer gets the folder's short name.
      {L"도움말", "a name Shift_JIS cannot hold"},
  };
  ASSERT_NE(::GetFileAttributesW(ProgramFile(L"Tavoro.chm").c_str()), INVALID_FILE_ATTRIBUTES)
      << "build the target tavoro_program_files";
  // The main window's part: the viewer belongs to it.
  const OwnedWindow owned(::CreateWindowExW(0, L"STATIC", L"owner", WS_OVERLAPPEDWINDOW, 0, 0, 200,
                                            100, nullptr, nullptr, nullptr, nullptr));
  const HWND owner = owned.get();
  ASSERT_NE(owner, nullptr);
  Win32HelpViewer viewer;
  for (const auto& each : cases) {
    SCOPED_TRACE(each.why);
    const testing::ScratchFolder folder(std::filesystem::current_path() / each.folder);
    const std::wstring help = folder.path() + L"\\Tavoro.chm";
    ASSERT_TRUE(::CopyFileW(ProgramFile(L"Tavoro.chm").c_str(), help.c_str(), FALSE));

    const HWND shown = reinterpret_cast<HWND>(static_cast<std::uintptr_t>(viewer.DisplayContents(
        static_cast<WindowHandle>(reinterpret_cast<std::uintptr_t>(owner)), Narrow(help))));
    ASSERT_NE(shown, nullptr);
    testing::WaitUntil([] { return false; }, testing::milliseconds(300));
    EXPECT_TRUE(::IsWindowVisible(shown));
    EXPECT_EQ(::GetWindow(shown, GW_OWNER), owner);
    EXPECT_EQ(e2e::TextOf(shown), "Tavorophone ヘルプ");

    const HWND contents = Descendant(shown, WC_TREEVIEWW);
    ASSERT_NE(contents, nullptr) << "no contents tree";
    RECT pane{};
    ::GetClientRect(contents, &pane);
    EXPECT_GT(pane.right, 100) << "the contents pane is shut";
    const std::vector<std::string> topics = TopLevelTopics(contents);
    ASSERT_GE(topics.size(), 3u);
    EXPECT_EQ(topics.front(), "Tavorophone の概要");
    for (const std::string& topic : topics)
      EXPECT_EQ(Widen(topic).find_first_of(L"?\uFFFD"), std::wstring::npos) << topic;

    const HWND index = Descendant(shown, WC_LISTVIEWW);
    ASSERT_NE(index, nullptr) << "no index list";
    LVFINDINFOW keyword{LVFI_STRING, L"実行時エラー", 0, {}, 0};
    EXPECT_NE(::SendMessageW(index, LVM_FINDITEMW, -1, reinterpret_cast<LPARAM>(&keyword)), -1);

    // Closed as its close box does: the viewer then forgets the window, and the next call
    // makes a new one (a window destroyed behind its back is handed out again, dead).
    ::SendMessageW(shown, WM_CLOSE, 0, 0);
    EXPECT_TRUE(testing::WaitUntil([&] { return !::IsWindow(shown); }, testing::milliseconds(100)));
  }
}

}  // namespace
}  // namespace tavoro::platform::win32
