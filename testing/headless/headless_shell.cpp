#include "headless/headless_shell.h"

#include <algorithm>

#include "platform/ascii.h"

namespace tavoro::platform::headless {
namespace {

class HeadlessStartedProcess final : public StartedProcess {
 public:
  HeadlessStartedProcess(VirtualClock& clock, std::uint64_t ends_ms)
      : clock_(clock), ends_ms_(ends_ms) {}

  // Nothing else happens on the virtual clock while a wait blocks, so the wait only passes
  // time: up to the end of the program or the timeout, whichever comes first.
  bool WaitForEnd(std::uint32_t timeout_ms) override {
    if (clock_.Milliseconds() < ends_ms_)
      clock_.AdvanceTo(std::min(ends_ms_, clock_.Milliseconds() + timeout_ms));
    return clock_.Milliseconds() >= ends_ms_;
  }

 private:
  VirtualClock& clock_;
  std::uint64_t ends_ms_;
};

// The program a command line names: the quoted text, or everything up to the first blank.
std::string_view ProgramOf(std::string_view command_line) {
  if (command_line.starts_with('"')) {
    const std::size_t close = command_line.find('"', 1);
    return command_line.substr(1, close == std::string_view::npos ? close : close - 1);
  }
  return command_line.substr(0, command_line.find_first_of(" \t"));
}

}  // namespace

HeadlessShell::HeadlessShell(VirtualClock& clock) : clock_(clock) {
  special_folders_[SpecialFolder::Desktop] = kDesktop;
  special_folders_[SpecialFolder::Programs] = kPrograms;
  AddFolder(kDesktop);
  AddFolder(kPrograms);
}

std::string HeadlessShell::Fold(std::string_view path) {
  std::string folded(path);
  for (char& c : folded)
    c = c == '/' ? '\\' : AsciiLower(c);
  return folded;
}

std::string HeadlessShell::ParentOf(std::string_view folded_path) {
  const std::size_t separator = folded_path.rfind('\\');
  return std::string(folded_path.substr(0, separator == std::string_view::npos ? 0 : separator));
}

std::optional<std::string> HeadlessShell::SpecialFolderPath(SpecialFolder folder) {
  if (unknown_folders_.contains(folder))
    return std::nullopt;
  return special_folders_.at(folder);
}

bool HeadlessShell::RemoveFile(std::string_view path) {
  const std::string folded = Fold(path);
  if (locked_paths_.contains(folded) || files_.erase(folded) == 0)
    return false;
  journal_.push_back("delete " + std::string(path));
  return true;
}

bool HeadlessShell::CreateShortcut(std::string_view path, const Shortcut& shortcut) {
  const std::string folded = Fold(path);
  if (locked_paths_.contains(folded) || !folders_.contains(ParentOf(folded)))
    return false;
  files_[folded] = shortcut;
  journal_.push_back("save " + std::string(path));
  return true;
}

void HeadlessShell::SetEnvironment(std::string_view name, std::string_view value) {
  environment_[Fold(name)] = std::string(value);
}

std::string HeadlessShell::ExpandEnvironment(std::string_view text) {
  std::string result;
  std::size_t at = 0;
  while (at < text.size()) {
    const std::size_t open = text.find('%', at);
    const std::size_t close = open == std::string_view::npos ? open : text.find('%', open + 1);
    if (close == std::string_view::npos) {
      result.append(text.substr(at));
      break;
    }
    result.append(text.substr(at, open - at));
    const auto value = environment_.find(Fold(text.substr(open + 1, close - open - 1)));
    if (value != environment_.end()) {
      result.append(value->second);
      at = close + 1;
    } else {
      // An unknown name stays; its closing sign may open the next reference.
      result.append(text.substr(open, close - open));
      at = close;
    }
  }
  return result;
}

void HeadlessShell::AddProgram(std::string_view name, std::uint64_t run_ms) {
  programs_[Fold(name)] = run_ms;
}

std::unique_ptr<StartedProcess> HeadlessShell::Start(std::string_view command_line,
                                                     WindowShow show) {
  const auto program = programs_.find(Fold(ProgramOf(command_line)));
  if (program == programs_.end() || failing_starts_.contains(std::string(command_line)))
    return nullptr;
  const std::uint64_t now = clock_.Milliseconds();
  const std::uint64_t ends = program->second == kRunsForever ? kRunsForever : now + program->second;
  starts_.push_back({std::string(command_line), show, now, ends});
  journal_.push_back("start " + std::string(command_line));
  return std::make_unique<HeadlessStartedProcess>(clock_, ends);
}

std::optional<Shortcut> HeadlessShell::ShortcutAt(std::string_view path) const {
  const auto file = files_.find(Fold(path));
  if (file == files_.end())
    return std::nullopt;
  return file->second;
}

std::size_t HeadlessShell::FileCount(std::string_view folder) const {
  const std::string folded = Fold(folder);
  return static_cast<std::size_t>(
      std::count_if(files_.begin(), files_.end(),
                    [&](const auto& file) { return ParentOf(file.first) == folded; }));
}

}  // namespace tavoro::platform::headless
