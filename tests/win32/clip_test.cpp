// The wait window's clip, as the built sd.avi, in a real animation control: it opens, every
// frame draws and differs from the one before, its background drops out of a transparent
// control, and it plays through to its end. A missing or foreign file is refused without harm.

#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>

#include <string>
#include <vector>

#include "win32/owned_handles.h"
#include "win32_test_support.h"

namespace tavoro::testing {
namespace {

using std::chrono::milliseconds;

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
  EXPECT_LE(size.cx, 297);
  EXPECT_LE(size.cy, 49);
  EXPECT_GE(size.cx, 200);
  EXPECT_GE(size.cy, 32);
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

TEST(WaitWindowClip, AMissingOrForeignFileIsRefusedAndTheControlStaysUsable) {
  ClipWindow window(0);
  EXPECT_FALSE(window.Open(ProgramFile(L"no-such-clip.avi")));
  EXPECT_FALSE(Animate_Play(window.control(), 0, -1, 1)) << "nothing is open to play";
  EXPECT_FALSE(window.Open(ProgramFile(L"Tavoro.chm")));
  EXPECT_TRUE(window.Open(kClip));
  EXPECT_TRUE(window.Show(0));
}

}  // namespace
}  // namespace tavoro::testing
