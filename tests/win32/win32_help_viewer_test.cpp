// The help viewer on the built Tavoro.chm: it opens on the contents, with the Japanese titles
// of the contents and the index intact after their trip through Shift_JIS, from folders whose
// names the ANSI code page can and cannot hold; a missing file opens and shows nothing.
//
// Under the harness Wine's HTML engine is switched off, so the pages themselves stay blank;
// the viewer's frame, contents tree and index list do not need it.

#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

#include "win32/program_files.h"
#include "win32/wide_text.h"
#include "win32/win32_help_viewer.h"

namespace tavoro::platform::win32 {
namespace {

using testing::ProgramFile;
using testing::ProgramFolder;

void Pump(DWORD ms) {
  const ULONGLONG until = ::GetTickCount64() + ms;
  MSG message;
  while (::GetTickCount64() < until) {
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      ::TranslateMessage(&message);
      ::DispatchMessageW(&message);
    }
    ::Sleep(10);
  }
}

BOOL CALLBACK CollectVisible(HWND window, LPARAM windows) {
  DWORD process = 0;
  ::GetWindowThreadProcessId(window, &process);
  if (process == ::GetCurrentProcessId() && ::IsWindowVisible(window))
    reinterpret_cast<std::vector<HWND>*>(windows)->push_back(window);
  return TRUE;
}

std::vector<HWND> VisibleWindowsOfThisProcess() {
  std::vector<HWND> windows;
  ::EnumWindows(CollectVisible, reinterpret_cast<LPARAM>(&windows));
  return windows;
}

struct FoundChild {
  const wchar_t* class_name;
  HWND window = nullptr;
};

BOOL CALLBACK FindChild(HWND window, LPARAM found) {
  auto* wanted = reinterpret_cast<FoundChild*>(found);
  wchar_t name[64] = {};
  ::GetClassNameW(window, name, 64);
  if (std::wstring(name) != wanted->class_name)
    return TRUE;
  wanted->window = window;
  return FALSE;
}

HWND Descendant(HWND parent, const wchar_t* class_name) {
  FoundChild found{class_name};
  ::EnumChildWindows(parent, FindChild, reinterpret_cast<LPARAM>(&found));
  return found.window;
}

std::wstring Title(HWND window) {
  wchar_t text[256] = {};
  ::GetWindowTextW(window, text, 256);
  return text;
}

std::vector<std::wstring> TopLevelTopics(HWND tree) {
  std::vector<std::wstring> names;
  for (auto item = TreeView_GetRoot(tree); item != nullptr;
       item = TreeView_GetNextSibling(tree, item)) {
    wchar_t text[256] = {};
    TVITEMW request{};
    request.mask = TVIF_TEXT;
    request.hItem = item;
    request.pszText = text;
    request.cchTextMax = 256;
    ::SendMessageW(tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&request));
    names.push_back(text);
  }
  return names;
}

std::vector<std::wstring> ListItems(HWND list) {
  std::vector<std::wstring> items;
  const int count = static_cast<int>(::SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
  for (int i = 0; i < count; ++i) {
    wchar_t text[256] = {};
    LVITEMW request{};
    request.iSubItem = 0;
    request.pszText = text;
    request.cchTextMax = 256;
    ::SendMessageW(list, LVM_GETITEMTEXTW, i, reinterpret_cast<LPARAM>(&request));
    items.push_back(text);
  }
  return items;
}

// A folder in the working folder holding a copy of the built help, removed afterwards.
class HelpCopy {
 public:
  explicit HelpCopy(const std::wstring& folder) : folder_(folder), file_(folder + L"\\Tavoro.chm") {
    ::CreateDirectoryW(folder_.c_str(), nullptr);
    copied_ = ::CopyFileW(ProgramFile(L"Tavoro.chm").c_str(), file_.c_str(), FALSE) != FALSE;
  }
  ~HelpCopy() {
    ::DeleteFileW(file_.c_str());
    ::RemoveDirectoryW(folder_.c_str());
  }
  HelpCopy(const HelpCopy&) = delete;
  HelpCopy& operator=(const HelpCopy&) = delete;
  bool copied() const { return copied_; }
  std::string path() const { return Narrow(file_); }

 private:
  std::wstring folder_;
  std::wstring file_;
  bool copied_ = false;
};

std::wstring WorkingFolder() {
  wchar_t folder[MAX_PATH] = {};
  ::GetCurrentDirectoryW(MAX_PATH, folder);
  return folder;
}

TEST(Win32HelpViewer, AMissingFileOpensAndShowsNothing) {
  Win32HelpViewer viewer;
  EXPECT_EQ(viewer.DisplayContents(WindowHandle{}, Narrow(ProgramFolder()) + "\\no-such-help.chm"),
            WindowHandle{});
  Pump(300);
  EXPECT_TRUE(VisibleWindowsOfThisProcess().empty()) << "an error window appeared";
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
  const std::unique_ptr<std::remove_pointer_t<HWND>, decltype(&::DestroyWindow)> owned(
      ::CreateWindowExW(0, L"STATIC", L"owner", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, nullptr,
                        nullptr, nullptr, nullptr),
      &::DestroyWindow);
  const HWND owner = owned.get();
  ASSERT_NE(owner, nullptr);
  Win32HelpViewer viewer;
  for (const auto& each : cases) {
    SCOPED_TRACE(each.why);
    const HelpCopy help(WorkingFolder() + L"\\" + each.folder);
    ASSERT_TRUE(help.copied());

    const HWND shown = reinterpret_cast<HWND>(static_cast<std::uintptr_t>(viewer.DisplayContents(
        static_cast<WindowHandle>(reinterpret_cast<std::uintptr_t>(owner)), help.path())));
    ASSERT_NE(shown, nullptr);
    Pump(300);
    EXPECT_TRUE(::IsWindowVisible(shown));
    EXPECT_EQ(::GetWindow(shown, GW_OWNER), owner);
    EXPECT_EQ(Narrow(Title(shown)), "Tavorophone ヘルプ");

    const HWND contents = Descendant(shown, WC_TREEVIEWW);
    ASSERT_NE(contents, nullptr) << "no contents tree";
    RECT pane{};
    ::GetClientRect(contents, &pane);
    EXPECT_GT(pane.right, 100) << "the contents pane is shut";
    const std::vector<std::wstring> topics = TopLevelTopics(contents);
    ASSERT_GE(topics.size(), 3u);
    EXPECT_EQ(Narrow(topics.front()), "Tavorophone の概要");
    for (const std::wstring& topic : topics)
      EXPECT_EQ(topic.find_first_of(L"?\uFFFD"), std::wstring::npos) << Narrow(topic);

    const HWND index = Descendant(shown, WC_LISTVIEWW);
    ASSERT_NE(index, nullptr) << "no index list";
    std::vector<std::string> keywords;
    for (const std::wstring& item : ListItems(index))
      keywords.push_back(Narrow(item));
    EXPECT_NE(std::find(keywords.begin(), keywords.end(), "実行時エラー"), keywords.end());

    // Closed as its close box does: the viewer then forgets the window, and the next call
    // makes a new one (a window destroyed behind its back is handed out again, dead).
    ::SendMessageW(shown, WM_CLOSE, 0, 0);
    Pump(100);
    EXPECT_FALSE(::IsWindow(shown));
  }
}

}  // namespace
}  // namespace tavoro::platform::win32
