#pragma once
// The program as a process, without one: the folder and the previous-instance answer are
// whatever the test sets, and End unwinds to the test instead of ending anything.

#include <string>

#include "platform/process.h"

namespace tavoro::platform::headless {

// Thrown by End. Deliberately not a std::exception, so the program's own handlers for
// failures cannot catch it and carry on after the program has ended.
struct ProgramEnded {};

class HeadlessProcess final : public Process {
 public:
  std::string AppPath() override { return app_path_; }
  bool PrevInstance() override { return prev_instance_; }
  [[noreturn]] void End() override;

  void SetAppPath(std::string path) { app_path_ = std::move(path); }
  void SetPrevInstance(bool running) { prev_instance_ = running; }
  bool ended() const { return ended_; }

 private:
  std::string app_path_ = "C:\\Program Files\\Tavorophone";
  bool prev_instance_ = false;
  bool ended_ = false;
};

}  // namespace tavoro::platform::headless
