#pragma once
// The running program as the system sees it (`App.Path`, `App.PrevInstance`, `End`).

#include <string>

namespace tavoro::platform {

class Process {
 public:
  virtual ~Process() = default;

  // Folder of the running executable, without a trailing separator except at a drive root
  // ("C:\Program Files\Tavorophone", "T:\").
  virtual std::string AppPath() = 0;

  // True when another instance of this program is already running.
  virtual bool PrevInstance() = 0;

  // Ends the program at once: no close handler runs, nothing is saved (`End`).
  [[noreturn]] virtual void End() = 0;
};

}  // namespace tavoro::platform
