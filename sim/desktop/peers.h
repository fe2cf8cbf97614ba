#pragma once
// The gateway's peers on the checker's desktop: the Skype client's automation library (the
// stand-in from sim/skype4com, registered while a check needs it and steered through its
// control channel) and the "X-Lite" softphone (sim/xlite). Both keep journals that a check
// reads back to see what the gateway did to them.

#include <windows.h>

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "desktop/desktop.h"

namespace tavoro::e2e {

// The stand-ins' folder (TAVORO_E2E_SIM).
fs::path SimFolder();

// The Skype library stand-in of the checker's own bitness, registered for this object's life.
// The programs it starts meanwhile find it under the real library's ProgID.
class SkypeLibrary {
 public:
  // `setup`: the stand-in's state before the program's first call (";"-separated commands,
  // e.g. "client stopped; attach refuse"); `journal`: the file it writes what happened to.
  SkypeLibrary(const std::string& setup, const fs::path& journal);
  ~SkypeLibrary();
  SkypeLibrary(const SkypeLibrary&) = delete;
  SkypeLibrary& operator=(const SkypeLibrary&) = delete;

  bool registered() const { return registered_; }

  // Sends one control command to the stand-in living in process `program`; true when done.
  static bool Command(DWORD program, std::string_view command);
  // Waits until the program has made its Skype object (its control window exists).
  static bool WaitForObject(DWORD program, milliseconds limit);

  struct Line {
    std::uint64_t ms = 0;
    std::string operation;
    std::map<std::string, std::string> fields;
  };
  std::vector<Line> Journal() const;
  // The journal's lines of one operation ("attach", "answer", "placecall", ...).
  std::vector<Line> Journal(std::string_view operation) const;

 private:
  HMODULE library_ = nullptr;
  bool registered_ = false;
  fs::path journal_;
};

// The softphone stand-in, started for this object's life.
class XLite {
 public:
  explicit XLite(const fs::path& log);
  ~XLite();
  XLite(const XLite&) = delete;
  XLite& operator=(const XLite&) = delete;

  bool running() const;
  DWORD id() const { return program_.id(); }
  HWND window() const { return window_; }

  // `/ring`, `/stop`: a call comes in or gives up; true when the softphone took the command.
  bool Ring() const;
  bool Stop() const;
  // Closes its window as a user would.
  void Close();

  // The log's lines without their times ("key Ctrl+VK_48 Ctrl+H", "answered", ...), in order.
  std::vector<std::string> Lines() const;
  // The keys it read, each as the virtual key that arrived with the modifiers held and what the
  // softphone took it for ("Ctrl+VK_48 Ctrl+H", "VK_0D Enter", "VK_30 0", ...), in order. Text
  // typed as Unicode instead of keys would show as "VK_E7 ignored".
  std::vector<std::string> Keys() const;
  static inline const std::string kHangUpKey = "Ctrl+VK_48 Ctrl+H";
  static inline const std::string kCallKey = "VK_0D Enter";
  // A digit, which every keyboard layout types with its own key and no modifier: "VK_35 5".
  static std::string DigitKey(char digit);
  // The keys that take a call (the softphone made ready first) and dial `number` on it.
  static std::vector<std::string> KeysToTakeAndDial(std::string_view number);
  // Waits until the log holds `line`, `count` times.
  bool WaitForLine(std::string_view line, milliseconds limit, std::ptrdiff_t count = 1) const;

 private:
  bool Control(const wchar_t* command) const;

  fs::path log_;
  Program program_;
  HWND window_ = nullptr;
};

}  // namespace tavoro::e2e
