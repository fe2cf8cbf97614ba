#pragma once
// The shell of the headless platform: folders and shortcut files in memory, programs that
// "run" for a set time on the virtual clock, and a journal of every deletion, saved shortcut
// and start that succeeded, in order. Paths match without regard to ASCII case, as Windows
// paths do. Any step can be made to fail.

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "headless/virtual_clock.h"
#include "platform/shell.h"

namespace tavoro::platform::headless {

struct StartRecord {
  std::string command_line;
  WindowShow show = WindowShow::NormalFocus;
  std::uint64_t started_ms = 0;
  std::uint64_t ends_ms = 0;  // when it has run its time
};

class HeadlessShell final : public Shell {
 public:
  // Desktop and Programs start out as these existing folders.
  static constexpr std::string_view kDesktop = "C:\\Users\\user\\Desktop";
  static constexpr std::string_view kPrograms =
      "C:\\Users\\user\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs";

  explicit HeadlessShell(VirtualClock& clock);

  std::optional<std::string> SpecialFolderPath(SpecialFolder folder) override;
  bool RemoveFile(std::string_view path) override;
  bool CreateShortcut(std::string_view path, const Shortcut& shortcut) override;
  std::string ExpandEnvironment(std::string_view text) override;
  std::unique_ptr<StartedProcess> Start(std::string_view command_line, WindowShow show) override;

  // The world the test sets up.
  void AddFolder(std::string_view path) { folders_.insert(Fold(path)); }
  void SetEnvironment(std::string_view name, std::string_view value);
  // A program that can be started, named as a command line names it (its first word, or the
  // quoted path), which then runs for `run_ms` of virtual time, or never ends (kRunsForever).
  void AddProgram(std::string_view name, std::uint64_t run_ms = 0);
  static constexpr std::uint64_t kRunsForever = UINT64_MAX;

  // Failures to inject: the folder cannot be told; deleting or writing `path` fails (a locked
  // file); starting exactly `command_line` fails.
  void FailSpecialFolder(SpecialFolder folder) { unknown_folders_.insert(folder); }
  void FailPath(std::string_view path) { locked_paths_.insert(Fold(path)); }
  void FailStart(std::string_view command_line) {
    failing_starts_.insert(std::string(command_line));
  }

  // What happened: "delete <path>", "save <path>", "start <command line>".
  const std::vector<std::string>& journal() const { return journal_; }
  const std::vector<StartRecord>& starts() const { return starts_; }
  std::optional<Shortcut> ShortcutAt(std::string_view path) const;
  // The files directly inside `folder`.
  std::size_t FileCount(std::string_view folder) const;

 private:
  static std::string Fold(std::string_view path);
  static std::string ParentOf(std::string_view folded_path);

  VirtualClock& clock_;
  std::map<SpecialFolder, std::string> special_folders_;
  std::set<SpecialFolder> unknown_folders_;
  std::set<std::string> folders_;                   // folded
  std::map<std::string, Shortcut> files_;           // by folded path
  std::set<std::string> locked_paths_;              // folded
  std::map<std::string, std::string> environment_;  // by folded name
  std::map<std::string, std::uint64_t> programs_;   // run time by folded name
  std::set<std::string> failing_starts_;
  std::vector<std::string> journal_;
  std::vector<StartRecord> starts_;
};

}  // namespace tavoro::platform::headless
