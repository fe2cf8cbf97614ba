// Ondawn.exe end to end, under Wine. Each case sets what the system presents to the tool (the
// Windows version Wine reports to it, the UAC policy value, the "Tavorophone" folders, the main
// program beside it), runs the real program, and reads back what it did: the log of the
// stand-ins for regsvr32 and tavoro.exe, the shortcut files, and any message box it showed.
//
// Environment: TAVORO_E2E_BIN (the folder of Ondawn.exe), TAVORO_E2E_SIM (the folder of the
// stand-ins), TAVORO_TEST_ROOT_DRIVE (a writable drive, "T:").

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
#include <thread>
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

// Sets the value, or deletes it for no data, in both registry views: a 32-bit and a 64-bit
// Ondawn.exe each read their own where the system keeps them apart (Wine 8 shares both keys
// used here).
void SetValue(HKEY root, const wchar_t* path, const wchar_t* name, DWORD type,
              const std::wstring& data) {
  for (const REGSAM view : {KEY_WOW64_32KEY, KEY_WOW64_64KEY}) {
    HKEY key = nullptr;
    ASSERT_EQ(
        ::RegCreateKeyExW(root, path, 0, nullptr, 0, KEY_SET_VALUE | view, nullptr, &key, nullptr),
        ERROR_SUCCESS);
    if (data.empty()) {
      ::RegDeleteValueW(key, name);
    } else if (type == REG_DWORD) {
      const DWORD number = std::stoul(data);
      ::RegSetValueExW(key, name, 0, type, reinterpret_cast<const BYTE*>(&number), 4);
    } else {
      ::RegSetValueExW(key, name, 0, type, reinterpret_cast<const BYTE*>(data.c_str()),
                       static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t)));
    }
    ::RegCloseKey(key);
  }
}

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

// One stand-in's line: "<start ms> <end ms> <show> <own path>\t<command line>".
struct Started {
  unsigned long long start = 0, end = 0;
  int show = -1;
  fs::path program;
  std::string command_line;
};

// The lines of `name` ("regsvr32.exe", "tavoro.exe"), in the order they started.
std::vector<Started> ReadLog(const fs::path& log, const std::wstring& name) {
  std::vector<Started> found;
  std::ifstream in(log, std::ios::binary);
  for (std::string text; std::getline(in, text);) {
    std::istringstream fields(text);
    Started line;
    std::string path;
    fields >> line.start >> line.end >> line.show >> std::ws;
    std::getline(fields, path, '\t');
    std::getline(fields, line.command_line);
    line.program = Widen(path);
    if (line.program.filename() == name)
      found.push_back(line);
  }
  std::sort(found.begin(), found.end(), [](auto& a, auto& b) { return a.start < b.start; });
  return found;
}

// Runs Ondawn.exe to its end, playing the user: each message box of its own is read once
// shown and closed with OK. False when it hung.
bool RunOndawn(const fs::path& exe, std::vector<std::string>& boxes) {
  Program ondawn(exe);
  if (!ondawn.running())
    return false;
  const auto give_up = Clock::now() + std::chrono::seconds(30);
  while (!ondawn.WaitForEnd(milliseconds(10)) && Clock::now() < give_up) {
    if (const auto box = AnswerMessageBox(ondawn.id(), milliseconds(0))) {
      boxes.push_back((box->title == "Ondawn" ? "" : "[" + box->title + "] ") + box->text +
                      (box->icon ? "" : " (no icon)"));
    }
  }
  return ondawn.Ended();
}

struct Case {
  const char* name = "";
  const wchar_t* windows = L"";
  const wchar_t* enable_lua = L"";  // empty: absent
  bool at_drive_root = false;
  bool desktop_folder = true;
  bool main_program = true;
  int runs = 1;
  // What the tool is to do.
  bool commands = false;
  bool shortcuts = false;
};
void PrintTo(const Case& c, std::ostream* out) {
  *out << c.name;
}

class OndawnExe : public ::testing::TestWithParam<Case> {
 protected:
  void SetUp() override {
    const std::wstring bin = Environment(L"TAVORO_E2E_BIN");
    ondawn_ = bin.empty() ? fs::path() : fs::path(bin) / L"Ondawn.exe";
    sim_ = Environment(L"TAVORO_E2E_SIM");
    if (ondawn_.empty() || sim_.empty())
      GTEST_SKIP() << "run by scripts/e2e.sh, which says where the programs are";
    ASSERT_TRUE(apartment_.joined());
    scratch_ = fs::temp_directory_path() / L"ondawn-e2e" / GetParam().name;
    fs::remove_all(scratch_);
    fs::create_directories(scratch_);
  }

  platform::win32::ComApartment apartment_;
  fs::path ondawn_, sim_, scratch_;
};

TEST_P(OndawnExe, DoesWhatTheVersionAndUacCallFor) {
  const Case& c = GetParam();
  const std::wstring drive = Environment(L"TAVORO_TEST_ROOT_DRIVE");
  ASSERT_TRUE(!c.at_drive_root || !drive.empty()) << "no drive to use the root of";
  const fs::path app = c.at_drive_root ? fs::path(drive + L"\\") : scratch_ / L"タヴォロ フォン";
  const std::string main_program = Narrow((app / L"tavoro.exe").wstring());
  fs::create_directories(app);
  const auto copy_options = fs::copy_options::overwrite_existing;
  fs::copy_file(ondawn_, app / L"Ondawn.exe", copy_options);
  fs::copy_file(sim_ / L"regsvr32.exe", app / L"regsvr32.exe", copy_options);
  fs::remove(app / L"tavoro.exe");
  if (c.main_program)
    fs::copy_file(sim_ / L"tavoro.exe", app / L"tavoro.exe");

  SetValue(HKEY_CURRENT_USER, L"Software\\Wine\\AppDefaults\\Ondawn.exe", L"Version", REG_SZ,
           c.windows);
  SetValue(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies\\System",
           L"EnableLUA", REG_DWORD, c.enable_lua);
  const fs::path desktop = Special(CSIDL_DESKTOPDIRECTORY) / L"Tavorophone";
  const fs::path programs = Special(CSIDL_PROGRAMS) / L"Tavorophone";
  fs::remove_all(desktop);
  fs::remove_all(programs);
  if (c.desktop_folder)
    fs::create_directories(desktop);
  fs::create_directories(programs);
  const fs::path log = scratch_ / L"started.log";
  ::SetEnvironmentVariableW(L"TAVORO_SIM_LOG", log.c_str());

  for (int run = 0; run < c.runs; ++run) {
    std::vector<std::string> boxes;
    ASSERT_TRUE(RunOndawn(app / L"Ondawn.exe", boxes)) << "Ondawn.exe did not end";
    const std::vector<std::string> failure = {"tavoro.exe を起動できませんでした。\r\n" +
                                              main_program};
    EXPECT_EQ(boxes, c.main_program ? std::vector<std::string>() : failure);
  }
  // Neither the main program, which the tool does not wait for, nor a command a faulty tool
  // did not wait for has to have ended with the tool: their lines are awaited.
  const std::size_t commands_due = c.commands ? 4 : 0, mains_due = c.main_program ? c.runs : 0;
  for (const auto give_up = Clock::now() + std::chrono::seconds(10);
       (ReadLog(log, L"regsvr32.exe").size() < commands_due ||
        ReadLog(log, L"tavoro.exe").size() < mains_due) &&
       Clock::now() < give_up;) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }

  // The commands: the stand-in beside the tool, in the table's order, minimized, each
  // started only after the one before had ended; then the main program, quoted, in a normal
  // window.
  const std::vector<Started> commands = ReadLog(log, L"regsvr32.exe");
  std::vector<std::string> command_lines;
  for (std::size_t i = 0; i < commands.size(); ++i) {
    command_lines.push_back(commands[i].command_line);
    EXPECT_EQ(commands[i].program, app / L"regsvr32.exe");
    EXPECT_EQ(commands[i].show, SW_SHOWMINIMIZED);
    if (i > 0) {
      EXPECT_GE(commands[i].start, commands[i - 1].end) << commands[i].command_line;
    }
  }
  const std::vector<std::string> table = {"regsvr32 /u /s mscomct2.ocx", "regsvr32 /s mscomct2.ocx",
                                          "regsvr32 /u /s mscomctl.ocx",
                                          "regsvr32 /s mscomctl.ocx"};
  EXPECT_EQ(command_lines, c.commands ? table : std::vector<std::string>());
  const std::vector<Started> mains = ReadLog(log, L"tavoro.exe");
  EXPECT_EQ(mains.size(), mains_due);
  for (const Started& line : mains) {
    EXPECT_EQ(line.command_line, "\"" + main_program + "\"");
    EXPECT_EQ(line.show, SW_SHOWNORMAL);
    EXPECT_GE(line.start, commands.empty() ? 0 : commands.back().end);
  }

  // The shortcuts: one file in each "Tavorophone" folder that was there, however often the
  // tool ran, with the main program, the tool's folder and show command 4. A missing folder
  // is not made.
  const Shortcut expected{main_program, Narrow(app.wstring()), 4};
  EXPECT_EQ(fs::exists(desktop), c.desktop_folder);
  for (const auto& [folder, wanted] :
       {std::pair{desktop, c.shortcuts && c.desktop_folder}, std::pair{programs, c.shortcuts}}) {
    SCOPED_TRACE(Narrow(folder.wstring()));
    EXPECT_EQ(ReadShortcut(folder / L"Tavorophone.lnk"),
              wanted ? std::optional(expected) : std::nullopt);
    if (fs::exists(folder)) {
      EXPECT_EQ(std::distance(fs::directory_iterator(folder), {}), wanted ? 1 : 0);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Systems, OndawnExe,
    ::testing::Values(
        Case{.name = "VistaWithUacOn", .windows = L"vista", .enable_lua = L"1"},
        Case{.name = "VistaWithUacOff", .windows = L"vista", .enable_lua = L"0", .commands = true},
        Case{.name = "VistaWithoutUacValue", .windows = L"vista", .commands = true},
        Case{.name = "Win7TwiceWithUacOff",
             .windows = L"win7",
             .enable_lua = L"0",
             .runs = 2,
             .shortcuts = true},
        Case{.name = "XpWithoutDesktopSubFolder",
             .windows = L"winxp",
             .desktop_folder = false,
             .shortcuts = true},
        Case{.name = "Win7AtADriveRoot",
             .windows = L"win7",
             .enable_lua = L"1",
             .at_drive_root = true,
             .shortcuts = true},
        Case{.name = "VistaWithoutTheMainProgram",
             .windows = L"vista",
             .enable_lua = L"1",
             .main_program = false}),
    [](const ::testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tavoro::e2e
