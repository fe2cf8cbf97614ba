// What the build ships, read back the way Windows and Explorer read it: the programs' version
// blocks, icon groups and manifests, and the wait window's clip in a real animation control.

#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "win32/owned_handles.h"
#include "win32/wide_text.h"
#include "win32_test_support.h"

namespace tavoro::testing {
namespace {

using platform::win32::Narrow;

struct Program {
  const wchar_t* file;
  const wchar_t* internal_name;
  const char* description;  // UTF-8
  std::vector<const char*> manifest_holds;
};

const Program kPrograms[] = {
    {L"Tavoro.exe",
     L"Tavoro",
     "Tavorophone Skype・ひかり電話ゲートウェイ",
     {"level=\"asInvoker\"", "name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\"",
      "<dpiAware "
      "xmlns=\"http://schemas.microsoft.com/SMI/2005/WindowsSettings\">true</dpiAware>"}},
    {L"Ondawn.exe", L"Ondawn", "Tavorophone 初回起動ツール", {"level=\"asInvoker\""}},
};

// The program loaded as data: its resources without running any of its code.
class ResourceModule {
 public:
  explicit ResourceModule(const std::wstring& path)
      : module_(::LoadLibraryExW(path.c_str(), nullptr,
                                 LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE)) {}
  HMODULE get() const { return module_.get(); }

  std::string Bytes(LPCWSTR type, LPCWSTR name) const {
    const HRSRC found = ::FindResourceW(get(), name, type);
    const auto* data =
        found ? static_cast<const char*>(::LockResource(::LoadResource(get(), found))) : nullptr;
    return data == nullptr ? std::string() : std::string(data, ::SizeofResource(get(), found));
  }

 private:
  platform::win32::Owned<HMODULE, &::FreeLibrary> module_;
};

BOOL CALLBACK CollectName(HMODULE, LPCWSTR, LPWSTR name, LONG_PTR names) {
  reinterpret_cast<std::vector<std::wstring>*>(names)->push_back(
      IS_INTRESOURCE(name) ? L"#" + std::to_wstring(reinterpret_cast<std::uintptr_t>(name))
                           : std::wstring(name));
  return TRUE;
}

// Read as Explorer reads it; the texts from the Japanese Unicode translation, the one there is.
TEST(ProgramResources, VersionBlockNamesTheProductInJapanese) {
  for (const Program& program : kPrograms) {
    SCOPED_TRACE(Narrow(program.file));
    const std::wstring file = ProgramFile(program.file);
    std::vector<char> block(::GetFileVersionInfoSizeW(file.c_str(), nullptr));
    ASSERT_TRUE(!block.empty() &&
                ::GetFileVersionInfoW(file.c_str(), 0, block.size(), block.data()))
        << "no version block";
    const auto value = [&block](const std::wstring& name) -> const void* {
      void* found = nullptr;
      UINT length = 0;
      return ::VerQueryValueW(block.data(), name.c_str(), &found, &length) ? found : nullptr;
    };
    const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(value(L"\\"));
    ASSERT_NE(fixed, nullptr);
    // Version 1.0.0.0 of the file and of the product.
    EXPECT_EQ((std::vector<DWORD>{fixed->dwFileVersionMS, fixed->dwFileVersionLS,
                                  fixed->dwProductVersionMS, fixed->dwProductVersionLS}),
              (std::vector<DWORD>{0x00010000, 0, 0x00010000, 0}));
    const auto* translation = static_cast<const WORD*>(value(L"\\VarFileInfo\\Translation"));
    ASSERT_NE(translation, nullptr);
    EXPECT_EQ((std::pair{translation[0], translation[1]}), (std::pair<WORD, WORD>{0x0411, 1200}));
    std::vector<std::string> texts;
    for (const wchar_t* name : {L"ProductName", L"ProductVersion", L"FileVersion",
                                L"OriginalFilename", L"InternalName", L"FileDescription"}) {
      const void* found = value(std::wstring(L"\\StringFileInfo\\041104b0\\") + name);
      texts.push_back(found ? Narrow(static_cast<const wchar_t*>(found)) : "(none)");
    }
    // The About box says "Version 1.00".
    EXPECT_EQ(texts,
              (std::vector<std::string>{"Tavorophone", "1.00", "1.0.0.0", Narrow(program.file),
                                        Narrow(program.internal_name), program.description}));
  }
}

TEST(ProgramResources, TheOneIconGroupHoldsEverySizeExplorerAsksFor) {
  for (const Program& program : kPrograms) {
    SCOPED_TRACE(Narrow(program.file));
    const ResourceModule module(ProgramFile(program.file));
    ASSERT_NE(module.get(), nullptr);

    // Explorer shows the first group; the About box loads it by name.
    std::vector<std::wstring> groups;
    ::EnumResourceNamesW(module.get(), RT_GROUP_ICON, CollectName,
                         reinterpret_cast<LONG_PTR>(&groups));
    ASSERT_EQ(groups, std::vector<std::wstring>{L"IDI_TAVORO"});

    std::string directory = module.Bytes(RT_GROUP_ICON, L"IDI_TAVORO");
    ASSERT_FALSE(directory.empty());
    for (const int size : {16, 24, 32, 48, 256}) {
      SCOPED_TRACE(size);
      const int id = ::LookupIconIdFromDirectoryEx(reinterpret_cast<PBYTE>(directory.data()), TRUE,
                                                   size, size, LR_DEFAULTCOLOR);
      ASSERT_NE(id, 0);
      const std::string image = module.Bytes(RT_ICON, MAKEINTRESOURCEW(id));
      ASSERT_GE(image.size(), 40u);
      if (size == 256) {
        // Large images are PNG, which only Vista's icon loader and later read.
        EXPECT_EQ(image.substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8));
        continue;
      }
      // An exact image for the size, with alpha, not one the system would have to scale.
      BITMAPINFOHEADER header;
      std::memcpy(&header, image.data(), sizeof header);
      EXPECT_EQ(header.biWidth, size);
      EXPECT_EQ(header.biHeight, 2 * size);
      EXPECT_EQ(header.biBitCount, 32);
    }
  }
}

TEST(ProgramResources, ManifestRunsAsInvokerAndDeclaresNoNewerWindows) {
  // These would make the version query report 6.3 or 10.0 instead of 6.2.
  const char* const newer_windows[] = {"1f676c76-80e1-4239-95bb-83d0f6d0da78",
                                       "8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a"};
  for (const Program& program : kPrograms) {
    SCOPED_TRACE(Narrow(program.file));
    const ResourceModule module(ProgramFile(program.file));
    ASSERT_NE(module.get(), nullptr);
    const std::string manifest =
        module.Bytes(MAKEINTRESOURCEW(24), MAKEINTRESOURCEW(1));  // RT_MANIFEST, the process's
    ASSERT_FALSE(manifest.empty());
    for (const char* wanted : program.manifest_holds)
      EXPECT_NE(manifest.find(wanted), std::string::npos) << wanted;
    for (const char* guid : newer_windows)
      EXPECT_EQ(manifest.find(guid), std::string::npos) << guid;
  }
}

// The wait window's clip, as the built sd.avi, in a real animation control: it opens, every
// frame draws and differs from the one before, its background drops out of a transparent
// control, and it plays through to its end.

constexpr COLORREF kParentBackground = RGB(0x12, 0x34, 0x56);

// A top-level window holding one animation control, its notifications and the brush it hands
// the control for a transparent background.
class ClipWindow {
 public:
  explicit ClipWindow(DWORD style) {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_ANIMATE_CLASS};
    ::InitCommonControlsEx(&controls);
    WNDCLASSW window_class{};
    window_class.lpfnWndProc = Procedure;
    window_class.hInstance = ::GetModuleHandleW(nullptr);
    window_class.lpszClassName = L"TavoroClipTest";
    ::RegisterClassW(&window_class);  // fails harmlessly when a test before registered it
    parent_.reset(::CreateWindowExW(0, L"TavoroClipTest", L"clip", WS_OVERLAPPEDWINDOW, 0, 0, 400,
                                    200, nullptr, nullptr, window_class.hInstance, nullptr));
    ::SetWindowLongPtrW(parent_.get(), GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    // The frame's size in the wait window: 4455 x 735 twips at 96 dpi.
    control_ = ::CreateWindowExW(0, ANIMATE_CLASSW, nullptr, WS_CHILD | WS_VISIBLE | style, 8, 8,
                                 297, 49, parent_.get(), reinterpret_cast<HMENU>(1),
                                 window_class.hInstance, nullptr);
  }

  HWND control() const { return control_; }
  bool Open(const std::wstring& path) { return Animate_Open(control_, path.c_str()) != FALSE; }

  // Draws `frame` and returns the control's picture, rows top first.
  bool Show(int frame) { return Animate_Seek(control_, frame) != FALSE; }
  std::vector<COLORREF> Picture(SIZE& size) const {
    RECT client{};
    ::GetClientRect(control_, &client);
    size = {client.right, client.bottom};
    BITMAPINFO info{};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), size.cx, -size.cy, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    const HDC screen = ::GetDC(nullptr);
    const HDC memory = ::CreateCompatibleDC(screen);
    const HBITMAP bitmap = ::CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    ::ReleaseDC(nullptr, screen);
    const HGDIOBJ old = ::SelectObject(memory, bitmap);
    ::SendMessageW(control_, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(memory), PRF_CLIENT);
    ::GdiFlush();
    std::vector<COLORREF> pixels(static_cast<std::size_t>(size.cx * size.cy));
    const auto* source = static_cast<const DWORD*>(bits);
    for (std::size_t i = 0; i < pixels.size(); ++i)
      pixels[i] = RGB(GetBValue(source[i]), GetGValue(source[i]), GetRValue(source[i]));
    ::SelectObject(memory, old);
    ::DeleteObject(bitmap);
    ::DeleteDC(memory);
    return pixels;
  }

  bool stopped() const { return stopped_; }
  bool started() const { return started_; }

 private:
  static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    auto* self = reinterpret_cast<ClipWindow*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    if (self != nullptr && message == WM_CTLCOLORSTATIC)
      return reinterpret_cast<LRESULT>(self->brush_.get());
    if (self != nullptr && message == WM_COMMAND && LOWORD(wparam) == 1) {
      self->started_ = self->started_ || HIWORD(wparam) == ACN_START;
      self->stopped_ = self->stopped_ || HIWORD(wparam) == ACN_STOP;
    }
    return ::DefWindowProcW(window, message, wparam, lparam);
  }

  platform::win32::OwnedBrush brush_{::CreateSolidBrush(kParentBackground)};
  platform::win32::OwnedWindow parent_;
  HWND control_ = nullptr;
  bool started_ = false;
  bool stopped_ = false;
};

const std::wstring kClip = ProgramFile(L"sd.avi");

TEST(WaitWindowClip, EveryFrameDrawsInsideTheWaitWindowsFrameAndMoves) {
  ASSERT_NE(::GetFileAttributesW(kClip.c_str()), INVALID_FILE_ATTRIBUTES)
      << "build the target tavoro_program_files";
  ClipWindow window(0);
  ASSERT_TRUE(window.Open(kClip));

  std::vector<std::vector<COLORREF>> frames;
  SIZE size{};
  while (frames.size() < 100 && window.Show(static_cast<int>(frames.size())))
    frames.push_back(window.Picture(size));
  // Without ACS_CENTER the control takes the clip's own size.
  EXPECT_TRUE(size.cx >= 200 && size.cx <= 297 && size.cy >= 32 && size.cy <= 49)
      << size.cx << " x " << size.cy;
  ASSERT_GE(frames.size(), 10u);
  EXPECT_LE(frames.size(), 20u);
  for (std::size_t i = 0; i < frames.size(); ++i) {
    const std::vector<COLORREF>& next = frames[(i + 1) % frames.size()];
    EXPECT_NE(frames[i], next) << "frame " << i << " and the one after it look the same";
  }
}

TEST(WaitWindowClip, BackgroundDropsOutOfATransparentControl) {
  ClipWindow window(ACS_TRANSPARENT);
  ASSERT_TRUE(window.Open(kClip));
  ASSERT_TRUE(window.Show(0));
  SIZE size{};
  const std::vector<COLORREF> picture = window.Picture(size);
  ASSERT_EQ(picture.size(), static_cast<std::size_t>(size.cx * size.cy));

  // The whole border is background, so no edge of a box shows on the dialog, and the drawing
  // itself stays.
  std::size_t border_kept = 0, drawn = 0;
  for (LONG y = 0; y < size.cy; ++y) {
    for (LONG x = 0; x < size.cx; ++x) {
      const bool kept = picture[static_cast<std::size_t>(y * size.cx + x)] != kParentBackground;
      drawn += kept;
      border_kept += kept && (x == 0 || y == 0 || x == size.cx - 1 || y == size.cy - 1);
    }
  }
  EXPECT_EQ(border_kept, 0u);
  EXPECT_GT(drawn, picture.size() / 10);
}

TEST(WaitWindowClip, PlaysOnceThroughToItsEnd) {
  ClipWindow window(0);
  ASSERT_TRUE(window.Open(kClip));
  ASSERT_TRUE(Animate_Play(window.control(), 0, -1, 1));
  EXPECT_TRUE(WaitUntil([&] { return window.stopped(); }, milliseconds(20'000)));
  EXPECT_TRUE(window.started());
}

}  // namespace
}  // namespace tavoro::testing
