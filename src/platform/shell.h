#pragma once
// The Windows shell as the first-run tool uses it: the user's special folders, shortcut files,
// environment references, and starting other programs. Paths and command lines are UTF-8
// here and UTF-16 at the system.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace tavoro::platform {

// Special folders of the current user.
enum class SpecialFolder {
  Desktop,   // the desktop's files
  Programs,  // the Start menu's "Programs"
};

// How a started program is asked to show its first window.
enum class WindowShow {
  NormalFocus,     // a normal window that takes the focus
  MinimizedFocus,  // minimized, but focused
};

// What a shortcut file holds besides its place.
struct Shortcut {
  std::string target;
  std::string working_folder;
  int window_style = 1;  // the show command the shortcut starts its target with

  friend bool operator==(const Shortcut&, const Shortcut&) = default;
};

// A program that was started. Dropping it lets the program run on unwatched.
class StartedProcess {
 public:
  virtual ~StartedProcess() = default;

  // Returns true once the program has ended. Otherwise it waits at most `timeout_ms`, and
  // less when a message arrives for this thread first, so the caller can pump it; then false.
  virtual bool WaitForEnd(std::uint32_t timeout_ms) = 0;
};

class Shell {
 public:
  virtual ~Shell() = default;

  // The folder's path, or nothing when the system cannot tell.
  virtual std::optional<std::string> SpecialFolderPath(SpecialFolder folder) = 0;

  // Deletes one file; false when it is missing or cannot be deleted. (Not "DeleteFile":
  // <windows.h> makes that name a macro.)
  virtual bool RemoveFile(std::string_view path) = 0;

  // Writes the shortcut file at `path`, replacing one that is there. False when it cannot be
  // written, for example because its folder does not exist; no folder is created.
  virtual bool CreateShortcut(std::string_view path, const Shortcut& shortcut) = 0;

  // `text` with every %NAME% of a defined environment variable replaced by its value; other
  // percent signs stay as they are.
  virtual std::string ExpandEnvironment(std::string_view text) = 0;

  // Starts `command_line` as a new process, its program found the way the system finds one
  // for a command line without a folder (the starter's own folder first, then the system's);
  // a path with spaces must be quoted. Nothing when it cannot be started.
  virtual std::unique_ptr<StartedProcess> Start(std::string_view command_line, WindowShow show) = 0;
};

}  // namespace tavoro::platform
