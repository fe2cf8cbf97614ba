#include "win32/message_window.h"

#include <system_error>

namespace tavoro::platform::win32 {
namespace {

constexpr wchar_t kClassName[] = L"TavoroMessageWindow";

// The window class, registered on first use and unregistered when the program's statics go.
class MessageWindowClass {
 public:
  explicit MessageWindowClass(WNDPROC procedure) {
    WNDCLASSEXW description{};
    description.cbSize = sizeof(description);
    description.lpfnWndProc = procedure;
    description.hInstance = ::GetModuleHandleW(nullptr);
    description.lpszClassName = kClassName;
    if (::RegisterClassExW(&description) == 0)
      throw std::system_error(static_cast<int>(::GetLastError()), std::system_category(),
                              "RegisterClassExW");
  }
  ~MessageWindowClass() { ::UnregisterClassW(kClassName, ::GetModuleHandleW(nullptr)); }
  MessageWindowClass(const MessageWindowClass&) = delete;
  MessageWindowClass& operator=(const MessageWindowClass&) = delete;
};

}  // namespace

MessageWindow::MessageWindow(Handler handler) : handler_(std::move(handler)) {
  static const MessageWindowClass window_class(&MessageWindow::Procedure);
  handle_ = ::CreateWindowExW(0, kClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                              ::GetModuleHandleW(nullptr), this);
  if (handle_ == nullptr)
    throw std::system_error(static_cast<int>(::GetLastError()), std::system_category(),
                            "CreateWindowExW");
}

MessageWindow::~MessageWindow() {
  // Detached first, so the messages of its own destruction never reach a half-destroyed owner.
  ::SetWindowLongPtrW(handle_, GWLP_USERDATA, 0);
  ::DestroyWindow(handle_);
}

LRESULT CALLBACK MessageWindow::Procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_NCCREATE) {
    const auto* creation = reinterpret_cast<const CREATESTRUCTW*>(lparam);
    ::SetWindowLongPtrW(window, GWLP_USERDATA,
                        reinterpret_cast<LONG_PTR>(creation->lpCreateParams));
  }
  auto* self = reinterpret_cast<MessageWindow*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
  if (self != nullptr && self->handler_ && self->handler_(message, wparam, lparam))
    return 0;
  return ::DefWindowProcW(window, message, wparam, lparam);
}

}  // namespace tavoro::platform::win32
