#pragma once
// What an end-to-end checker does as the user at the desktop: start a program, find its
// windows, read and close its message boxes, read texts and colours off its windows. All
// through the Win32 calls any other process could make, so nothing here knows the program's
// insides.

#include <windows.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace tavoro::e2e {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// The value of an environment variable, or empty.
std::wstring Environment(const wchar_t* name);

std::string TextOf(HWND window);

// Pumps this thread's messages and polls `done` every few milliseconds until it holds or the
// time is up. Returns whether it held.
bool WaitUntil(const std::function<bool()>& done, milliseconds limit);

// A program started by the checker. Ended (killed if need be) when the object goes.
class Program {
 public:
  // Starts `exe` (with `arguments` after its quoted path) in its own folder. Check `running()`.
  explicit Program(const fs::path& exe, const std::wstring& arguments = L"");
  ~Program();
  Program(const Program&) = delete;
  Program& operator=(const Program&) = delete;

  bool running() const { return process_ != nullptr; }
  DWORD id() const { return id_; }
  // Waits for the end; true when it ended in time.
  bool WaitForEnd(milliseconds limit) const;
  bool Ended() const { return WaitForEnd(milliseconds(0)); }
  void Kill();
  // The exit code once ended, or STILL_ACTIVE.
  DWORD ExitCode() const;

 private:
  HANDLE process_ = nullptr;
  DWORD id_ = 0;
};

// The visible top-level windows of a process, optionally only those of a window class and title.
std::vector<HWND> WindowsOf(DWORD process, const wchar_t* window_class = nullptr,
                            const std::optional<std::wstring>& title = std::nullopt);
// The first such window to appear within the time, or nullptr.
HWND WaitForWindow(DWORD process, const wchar_t* window_class,
                   const std::optional<std::wstring>& title, milliseconds limit);

// What the process shows now, window by window ("[class] title: text of its statics"), for
// a failure's message.
std::string DescribeWindows(DWORD process);

// A message box as the user sees it.
struct MessageBoxSeen {
  std::string title;
  std::string text;
  // Whether it shows an icon; which one cannot be told from another process (icon handles are
  // each process's own), so the win32 tests check that in-process.
  bool icon = false;
  friend bool operator==(const MessageBoxSeen&, const MessageBoxSeen&) = default;
};
void PrintTo(const MessageBoxSeen& box, std::ostream* out);

// The process's next message box within the time: read, then closed with OK.
std::optional<MessageBoxSeen> AnswerMessageBox(DWORD process, milliseconds limit);

// A dialog control's window by its id.
HWND Control(HWND window, int id);

// The colour on screen at a point of a window's client area (the window must be uncovered).
COLORREF PixelAt(HWND window, int x, int y);

}  // namespace tavoro::e2e
