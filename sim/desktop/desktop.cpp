#include "desktop/desktop.h"

#include <algorithm>
#include <ostream>
#include <thread>

#include "win32/wide_text.h"

namespace tavoro::e2e {

using platform::win32::Narrow;

std::wstring Environment(const wchar_t* name) {
  const DWORD length = ::GetEnvironmentVariableW(name, nullptr, 0);
  if (length == 0)
    return L"";
  std::wstring value(length, L'\0');
  value.resize(::GetEnvironmentVariableW(name, value.data(), length));
  return value;
}

std::string TextOf(HWND window) {
  // Asked of the window itself: GetWindowText of another process's window reads only the
  // caption the system keeps, which an edit box's contents never reach.
  DWORD_PTR length = 0;
  if (!::SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 2000, &length))
    return "";
  std::wstring text(length + 1, L'\0');
  DWORD_PTR copied = 0;
  if (!::SendMessageTimeoutW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()),
                             SMTO_ABORTIFHUNG, 2000, &copied))
    return "";
  text.resize(std::min<std::size_t>(copied, length));
  return Narrow(text);
}

bool WaitUntil(const std::function<bool()>& done, milliseconds limit) {
  const auto give_up = Clock::now() + limit;
  for (;;) {
    if (done())
      return true;
    if (Clock::now() >= give_up)
      return false;
    MSG message{};
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      ::TranslateMessage(&message);
      ::DispatchMessageW(&message);
    }
    std::this_thread::sleep_for(milliseconds(5));
  }
}

Program::Program(const fs::path& exe, const std::wstring& arguments) {
  std::wstring command = L"\"" + exe.wstring() + L"\"";
  if (!arguments.empty())
    command += L" " + arguments;
  const std::wstring folder = exe.parent_path().wstring();
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION started{};
  if (!::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        folder.c_str(), &startup, &started)) {
    return;
  }
  ::CloseHandle(started.hThread);
  process_ = started.hProcess;
  id_ = started.dwProcessId;
}

Program::~Program() {
  Kill();
}

bool Program::WaitForEnd(milliseconds limit) const {
  return process_ == nullptr ||
         ::WaitForSingleObject(process_, static_cast<DWORD>(limit.count())) == WAIT_OBJECT_0;
}

void Program::Kill() {
  if (process_ == nullptr)
    return;
  if (!Ended()) {
    ::TerminateProcess(process_, 1);
    ::WaitForSingleObject(process_, 5000);
  }
  ::CloseHandle(process_);
  process_ = nullptr;
}

namespace {

struct WindowSearch {
  DWORD process;
  const wchar_t* window_class;
  const std::optional<std::wstring>& title;
  std::vector<HWND> found;
};

BOOL CALLBACK CollectWindow(HWND window, LPARAM context) {
  auto& search = *reinterpret_cast<WindowSearch*>(context);
  DWORD owner = 0;
  ::GetWindowThreadProcessId(window, &owner);
  if (owner != search.process || !::IsWindowVisible(window))
    return TRUE;
  wchar_t name[256] = {};
  ::GetClassNameW(window, name, 256);
  if (search.window_class && std::wstring(name) != search.window_class)
    return TRUE;
  if (search.title && platform::win32::Widen(TextOf(window)) != *search.title)
    return TRUE;
  search.found.push_back(window);
  return TRUE;
}

}  // namespace

DWORD Program::ExitCode() const {
  DWORD code = STILL_ACTIVE;
  if (process_ != nullptr)
    ::GetExitCodeProcess(process_, &code);
  return code;
}

std::vector<HWND> WindowsOf(DWORD process, const wchar_t* window_class,
                            const std::optional<std::wstring>& title) {
  WindowSearch search{process, window_class, title, {}};
  ::EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

HWND WaitForWindow(DWORD process, const wchar_t* window_class,
                   const std::optional<std::wstring>& title, milliseconds limit) {
  HWND found = nullptr;
  WaitUntil(
      [&] {
        const auto windows = WindowsOf(process, window_class, title);
        found = windows.empty() ? nullptr : windows.front();
        return found != nullptr;
      },
      limit);
  return found;
}

std::string DescribeWindows(DWORD process) {
  std::string description;
  for (const HWND window : WindowsOf(process)) {
    wchar_t name[256] = {};
    ::GetClassNameW(window, name, 256);
    description += "[" + Narrow(name) + "] " + TextOf(window);
    for (HWND child = ::GetWindow(window, GW_CHILD); child != nullptr;
         child = ::GetWindow(child, GW_HWNDNEXT)) {
      if (const std::string text = TextOf(child); !text.empty())
        description += " | " + text;
    }
    description += "\n";
  }
  return description.empty() ? "no window" : description;
}

void PrintTo(const MessageBoxSeen& box, std::ostream* out) {
  *out << "[" << box.title << "] " << box.text << (box.icon ? "" : " (no icon)");
}

std::optional<MessageBoxSeen> AnswerMessageBox(DWORD process, milliseconds limit) {
  const HWND box = WaitForWindow(process, L"#32770", std::nullopt, limit);
  if (box == nullptr)
    return std::nullopt;
  // The box may still be filling in its controls when it first shows.
  WaitUntil([&] { return Control(box, 0xFFFF) != nullptr && Control(box, IDOK) != nullptr; },
            milliseconds(1000));
  MessageBoxSeen seen{TextOf(box), TextOf(Control(box, 0xFFFF)),
                      ::SendDlgItemMessageW(box, 0x440, STM_GETICON, 0, 0) != 0};
  ::SendMessageW(Control(box, IDOK), BM_CLICK, 0, 0);
  WaitUntil([&] { return !::IsWindow(box) || !::IsWindowVisible(box); }, milliseconds(2000));
  return seen;
}

HWND Control(HWND window, int id) {
  return ::GetDlgItem(window, id);
}

COLORREF PixelAt(HWND window, int x, int y) {
  POINT point{x, y};
  ::ClientToScreen(window, &point);
  const HDC screen = ::GetDC(nullptr);
  const COLORREF colour = ::GetPixel(screen, point.x, point.y);
  ::ReleaseDC(nullptr, screen);
  return colour;
}

}  // namespace tavoro::e2e
