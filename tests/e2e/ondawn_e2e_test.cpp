// Ondawn.exe end to end, under Wine. Each case sets what the system presents to the tool (the
// Windows version Wine reports to it, the UAC policy value, the "Tavorophone" folders, the main
// program beside it), runs the real program, and reads back what it did: the log of the
// stand-ins for regsvr32 and tavoro.exe, the shortcut files, and any message box it showed.
//
// Environment: TAVORO_E2E_BIN (the folder of Ondawn.exe), TAVORO_E2E_SIM (the folder of the
// stand-ins).

#include <windows.h>

#include <shlobj.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "desktop/desktop.h"
#include "platform/shell.h"
#include "win32/com.h"
#include "win32/wide_text.h"

namespace tavoro::platform {
void PrintTo(const Shortcut& s, std::ostream* out) {
  *out << "{" << s.target << ", " << s.working_folder << ", " << s.window_style << "}";
}
}  // namespace tavoro::platform

namespace tavoro::e2e {
namespace {

namespace fs = std::filesystem;
using platform::Shortcut;
using platform::win32::Narrow;
using platform::win32::Widen;

fs::path Special(int id) {
  wchar_t path[MAX_PATH] = {};
  ::SHGetFolderPathW(nullptr, id, nullptr, SHGFP_TYPE_CURRENT, path);
  return path;
}

std::optional<Shortcut> ReadShortcut(const fs::path& file) {
  platform::win32::ComPtr<IShellLinkW> link;
  platform::win32::ComPtr<IPersistFile> persist;
  if (!fs::exists(file) ||
      FAILED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER,
                                IID_PPV_ARGS(link.Put()))) ||
      FAILED(link->QueryInterface(IID_PPV_ARGS(persist.Put()))) ||
      FAILED(persist->Load(file.c_str(), STGM_READ))) {
    return std::nullopt;
  }
  wchar_t target[MAX_PATH] = {};
  wchar_t folder[MAX_PATH] = {};
  link->GetPath(target, MAX_PATH, nullptr, SLGP_RAWPATH);
  link->GetWorkingDirectory(folder, MAX_PATH);
  // Wine's shortcut object reads the stored 4 back as 1, so the show command comes from the
  // file's header (a 32-bit number at offset 0x3C).
  std::int32_t show = 0;
  std::ifstream(file, std::ios::binary).seekg(0x3C).read(reinterpret_cast<char*>(&show), 4);
  return Shortcut{Narrow(target), Narrow(folder), show};
}

// The stand-ins' lines, "<start ms> <end ms> <show> <own path>\t<command line>", in the order
// they started.
struct Started {
  unsigned long long start = 0, end = 0;
  int show = -1;
  fs::path program;
  std::string command_line;
};
std::vector<Started> ReadLog(const fs::path& log) {
  std::vector<Started> found;
  std::ifstream in(log, std::ios::binary);
  for (std::string text; std::getline(in, text);) {
    std::istringstream fields(text);
    Started& line = found.emplace_back();
    std::string path;
    fields >> line.start >> line.end >> line.show >> std::ws;
    std::getline(fields, path, '\t');
    std::getline(fields, line.command_line);
    line.program = Widen(path);
  }
  std::sort(found.begin(), found.end(), [](auto& a, auto& b) { return a.start < b.start; });
  return found;
}

// Runs Ondawn.exe to its end, playing the user: each message box of its own is read once
// shown and closed with OK. Nothing when it hung.
std::optional<std::vector<MessageBoxSeen>> RunOndawn(const fs::path& exe) {
  Program ondawn(exe);
  std::vector<MessageBoxSeen> boxes;
  for (const auto give_up = Clock::now() + std::chrono::seconds(30);
       ondawn.running() && !ondawn.WaitForEnd(milliseconds(10)) && Clock::now() < give_up;) {
    if (const auto box = AnswerMessageBox(ondawn.id(), milliseconds(0)))
      boxes.push_back(*box);
  }
  return ondawn.running() && ondawn.Ended() ? std::optional(boxes) : std::nullopt;
}

struct Case {
  const char* name;
  const wchar_t* windows;
  std::optional<DWORD> enable_lua;  // nothing: no value
  bool desktop_folder, main_program;
  int runs;
  bool commands, shortcuts;  // what the tool is to do
};

// One system: the tool in a folder of its own under `scratch`, beside the regsvr32 stand-in
// and (if the case says so) the main program's.
void RunOn(const Case& c, const fs::path& ondawn, const fs::path& sim, const fs::path& scratch) {
  const fs::path app = scratch / L"タヴォロ フォン";
  const std::string main_program = Narrow((app / L"tavoro.exe").wstring());
  fs::create_directories(app);
  fs::copy_file(ondawn, app / L"Ondawn.exe");
  fs::copy_file(sim / L"regsvr32.exe", app / L"regsvr32.exe");
  if (c.main_program)
    fs::copy_file(sim / L"tavoro.exe", app / L"tavoro.exe");

  // In the checker's own registry view: the tool is of the same build, so of the same bitness.
  ASSERT_EQ(::RegSetKeyValueW(HKEY_CURRENT_USER, L"Software\\Wine\\AppDefaults\\Ondawn.exe",
                              L"Version", REG_SZ, c.windows,
                              static_cast<DWORD>((wcslen(c.windows) + 1) * sizeof(wchar_t))),
            ERROR_SUCCESS);
  constexpr wchar_t kPolicies[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies\\System";
  ::RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, kPolicies, L"EnableLUA");
  if (c.enable_lua) {
    ASSERT_EQ(::RegSetKeyValueW(HKEY_LOCAL_MACHINE, kPolicies, L"EnableLUA", REG_DWORD,
                                &*c.enable_lua, sizeof(DWORD)),
              ERROR_SUCCESS);
  }
  const fs::path desktop = Special(CSIDL_DESKTOPDIRECTORY) / L"Tavorophone";
  const fs::path programs = Special(CSIDL_PROGRAMS) / L"Tavorophone";
  fs::remove_all(desktop);
  fs::remove_all(programs);
  if (c.desktop_folder)
    fs::create_directories(desktop);
  fs::create_directories(programs);
  const fs::path log = scratch / L"started.log";
  ::SetEnvironmentVariableW(L"TAVORO_SIM_LOG", log.c_str());

  const std::vector<MessageBoxSeen> failure = {
      {"Ondawn", "tavoro.exe を起動できませんでした。\r\n" + main_program, true}};
  for (int run = 0; run < c.runs; ++run) {
    EXPECT_EQ(RunOndawn(app / L"Ondawn.exe"),
              c.main_program ? std::vector<MessageBoxSeen>() : failure);
  }
  // Neither the main program, which the tool does not wait for, nor a command a faulty tool
  // did not wait for has to have ended with the tool: their lines are awaited.
  const std::size_t due = (c.commands ? 4 : 0) + (c.main_program ? c.runs : 0);
  WaitUntil([&] { return ReadLog(log).size() >= due; }, std::chrono::seconds(10));

  // What was started, all from the tool's folder: the commands in the table's order,
  // minimized, each only after the one before had ended; then the main program, quoted, in a
  // normal window.
  const std::vector<Started> started = ReadLog(log);
  std::vector<std::string> seen, expected;
  for (std::size_t i = 0; i < started.size(); ++i) {
    SCOPED_TRACE(started[i].command_line);
    seen.push_back(std::to_string(started[i].show) + " " + started[i].command_line);
    EXPECT_EQ(started[i].program.parent_path(), app);
    if (i > 0 && started[i - 1].command_line.starts_with("regsvr32")) {
      EXPECT_GE(started[i].start, started[i - 1].end);
    }
  }
  for (const char* command : {"regsvr32 /u /s mscomct2.ocx", "regsvr32 /s mscomct2.ocx",
                              "regsvr32 /u /s mscomctl.ocx", "regsvr32 /s mscomctl.ocx"}) {
    if (c.commands)
      expected.push_back(std::to_string(SW_SHOWMINIMIZED) + " " + command);
  }
  for (int run = 0; run < (c.main_program ? c.runs : 0); ++run)
    expected.push_back(std::to_string(SW_SHOWNORMAL) + " \"" + main_program + "\"");
  EXPECT_EQ(seen, expected);

  // The shortcuts: one file in each "Tavorophone" folder that was there, however often the
  // tool ran, with the main program, the tool's folder and show command 4. A missing folder
  // is not made.
  const Shortcut shortcut{main_program, Narrow(app.wstring()), 4};
  EXPECT_EQ(fs::exists(desktop), c.desktop_folder);
  for (const auto& [folder, wanted] :
       {std::pair{desktop, c.shortcuts && c.desktop_folder}, std::pair{programs, c.shortcuts}}) {
    SCOPED_TRACE(Narrow(folder.wstring()));
    EXPECT_EQ(ReadShortcut(folder / L"Tavorophone.lnk"),
              wanted ? std::optional(shortcut) : std::nullopt);
    if (fs::exists(folder)) {
      EXPECT_EQ(std::distance(fs::directory_iterator(folder), {}), wanted ? 1 : 0);
    }
  }
}

// The decisions themselves are the host's Ondawn tests; these are the ways the real system is
// met: registration, shortcuts (twice, and with a folder missing), and the main program absent.
TEST(OndawnExe, DoesWhatTheVersionAndUacCallFor) {
  const fs::path bin = Environment(L"TAVORO_E2E_BIN"), sim = Environment(L"TAVORO_E2E_SIM");
  if (bin.empty() || sim.empty())
    GTEST_SKIP() << "run by scripts/e2e.sh, which says where the programs are";
  const platform::win32::ComApartment apartment;
  ASSERT_TRUE(apartment.joined());
  const Case kCases[] = {
      // name, Windows, UAC ({}: none), desktop folder, main program, runs, commands, shortcuts
      {"VistaWithUacOff", L"vista", 0, true, true, 1, true, false},
      {"Win7TwiceWithUacOff", L"win7", 0, true, true, 2, false, true},
      {"XpWithoutDesktopSubFolder", L"winxp", {}, false, true, 1, false, true},
      {"VistaWithUacOnWithoutTheMainProgram", L"vista", 1, true, false, 1, false, false}};
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    const fs::path scratch = fs::temp_directory_path() / L"ondawn-e2e" / c.name;
    fs::remove_all(scratch);
    RunOn(c, bin / L"Ondawn.exe", sim, scratch);
  }
}

}  // namespace
}  // namespace tavoro::e2e
