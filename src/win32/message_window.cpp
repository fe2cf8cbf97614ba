#include "win32/message_window.h"
#include "win32/window_thunk.h"

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
  DetachWindowOwner(handle_);
  ::DestroyWindow(handle_);
}

LRESULT CALLBACK MessageWindow::Procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  auto* self = WindowOwner<MessageWindow>(window, message, lparam);
  if (self != nullptr && self->handler_ && self->handler_(message, wparam, lparam))
    return 0;
  return ::DefWindowProcW(window, message, wparam, lparam);
}

}  // namespace tavoro::platform::win32
