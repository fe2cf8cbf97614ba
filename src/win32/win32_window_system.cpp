#include "win32/win32_window_system.h"

#include <commctrl.h>

#include <algorithm>
#include <system_error>

#include "win32/form_ids.h"
#include "win32/wide_text.h"

namespace tavoro::platform::win32 {

// While a form is modal, the program's other windows take no input. They are enabled again
// (before the modal window hides, so the system does not hand activation to another program)
// and the window that was active comes back.
class Win32WindowSystem::ModalOwners {
 public:
  explicit ModalOwners(HWND modal) : modal_(modal), previous_active_(::GetActiveWindow()) {
    ::EnumThreadWindows(::GetCurrentThreadId(), &ModalOwners::Collect,
                        reinterpret_cast<LPARAM>(this));
    for (const HWND window : disabled_)
      ::EnableWindow(window, FALSE);
  }
  ~ModalOwners() {
    Release();
    if (previous_active_ && ::IsWindow(previous_active_) && ::IsWindowVisible(previous_active_))
      ::SetForegroundWindow(previous_active_);
  }
  ModalOwners(const ModalOwners&) = delete;
  ModalOwners& operator=(const ModalOwners&) = delete;

  HWND modal() const { return modal_; }

  void Release() {
    for (const HWND window : disabled_) {
      if (::IsWindow(window))
        ::EnableWindow(window, TRUE);
    }
    disabled_.clear();
  }

 private:
  static BOOL CALLBACK Collect(HWND window, LPARAM data) {
    auto* self = reinterpret_cast<ModalOwners*>(data);
    if (window != self->modal_ && ::IsWindowVisible(window) && ::IsWindowEnabled(window))
      self->disabled_.push_back(window);
    return TRUE;
  }

  HWND modal_;
  HWND previous_active_;
  std::vector<HWND> disabled_;
};

Win32WindowSystem::Win32WindowSystem(HINSTANCE instance, Win32EventLoop& loop)
    : instance_(instance), loop_(loop) {
  INITCOMMONCONTROLSEX controls{};
  controls.dwSize = sizeof(controls);
  controls.dwICC = ICC_PROGRESS_CLASS | ICC_ANIMATE_CLASS | ICC_BAR_CLASSES;
  ::InitCommonControlsEx(&controls);
  loop_.SetMessageFilter([this](MSG& message) { return FilterKeyboard(message); });
}

Win32WindowSystem::~Win32WindowSystem() {
  loop_.SetMessageFilter(nullptr);
  for (auto& [form, window] : windows_)
    window->Close();
  windows_.clear();
  closed_.clear();
  for (const std::wstring& name : registered_classes_)
    ::UnregisterClassW(name.c_str(), instance_);
}

void Win32WindowSystem::Create(forms::Form& form) {
  if (Find(form))
    return;
  FormWindowHost& host = *this;
  auto window = std::make_unique<FormWindow>(host, form, ActiveFormWindow());
  windows_.emplace(&form, std::move(window));
}

void Win32WindowSystem::Show(forms::Form& form, forms::ShowMode mode) {
  FormWindow* window = Find(form);
  if (!window)
    return;
  if (mode == forms::ShowMode::Modeless) {
    const ProcedureScope counted(*this);
    window->ShowForward();
    return;
  }
  const std::uint64_t serial = window->serial();
  ModalOwners owners(window->handle());
  modal_stack_.push_back(&owners);
  struct PopModal {
    std::vector<ModalOwners*>& stack;
    ~PopModal() { stack.pop_back(); }
  } pop{modal_stack_};
  {
    const ProcedureScope counted(*this);
    window->ShowForward();
  }
  // The window may go with any message: it is looked up afresh after each pump.
  while (IsShown(form, serial)) {
    loop_.DoEvents();
    if (!IsShown(form, serial))
      break;
    // A quit ends the modal loop and is left posted for the main loop, as a dialog's does.
    MSG quit{};
    if (::PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_NOREMOVE))
      break;
    ::WaitMessage();
  }
}

void Win32WindowSystem::Hide(forms::Form& form) {
  FormWindow* window = Find(form);
  if (!window)
    return;
  ReleaseModalOwners(window->handle());
  const ProcedureScope counted(*this);
  window->Hide();
}

void Win32WindowSystem::Destroy(forms::Form& form) {
  const auto found = windows_.find(&form);
  if (found == windows_.end())
    return;
  std::unique_ptr<FormWindow> window = std::move(found->second);
  windows_.erase(found);
  ReleaseModalOwners(window->handle());
  window->Close();
  // A procedure of this window may be running (a handler unloaded its own form).
  if (procedure_depth_ > 0)
    closed_.push_back(std::move(window));
  if (&form == quit_form_)
    ::PostQuitMessage(0);
}

void Win32WindowSystem::Changed(forms::Form& form, forms::Control* control,
                                forms::Property property) {
  if (FormWindow* window = Find(form)) {
    const ProcedureScope counted(*this);
    window->Changed(control, property);
  }
}

HWND Win32WindowSystem::WindowOf(const forms::Form& form) const {
  const FormWindow* window = Find(form);
  return window ? window->handle() : nullptr;
}

HWND Win32WindowSystem::ControlWindow(const forms::Control& control) const {
  const FormWindow* window = Find(control.form());
  return window ? window->ControlHandle(control) : nullptr;
}

namespace {

// The icon group the resource script gives the program.
constexpr wchar_t kProgramIcon[] = L"IDI_TAVORO";

}  // namespace

std::wstring Win32WindowSystem::FormClass(const forms::Form& form) {
  std::wstring name = kFormClassPrefix + Widen(form.name());
  if (std::find(registered_classes_.begin(), registered_classes_.end(), name) !=
      registered_classes_.end())
    return name;
  WNDCLASSEXW description{};
  description.cbSize = sizeof(description);
  description.lpfnWndProc = &FormWindow::Procedure;
  description.hInstance = instance_;
  description.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
  // The program's icon in every caption and on the task bar; a program without one (a test)
  // gets the system's. Icons loaded this way are shared and never destroyed.
  description.hIcon = ::LoadIconW(instance_, kProgramIcon);
  description.hIconSm = static_cast<HICON>(
      ::LoadImageW(instance_, kProgramIcon, IMAGE_ICON, ::GetSystemMetrics(SM_CXSMICON),
                   ::GetSystemMetrics(SM_CYSMICON), LR_SHARED));
  // A form's own colour is the button face, as the designer's forms are.
  description.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_BTNFACE + 1));
  description.lpszClassName = name.c_str();
  if (::RegisterClassExW(&description) != 0) {
    registered_classes_.push_back(name);
  } else if (::GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
    throw std::system_error(static_cast<int>(::GetLastError()), std::system_category(),
                            "RegisterClassExW");
  }
  return name;
}

void Win32WindowSystem::LeaveProcedure() {
  if (--procedure_depth_ == 0)
    closed_.clear();
}

FormWindow* Win32WindowSystem::Find(const forms::Form& form) const {
  const auto found = windows_.find(&form);
  return found == windows_.end() ? nullptr : found->second.get();
}

bool Win32WindowSystem::IsShown(const forms::Form& form, std::uint64_t serial) const {
  // Only a window of this very showing proves the form still exists to be asked.
  const FormWindow* window = Find(form);
  return window && window->serial() == serial && form.visible();
}

HWND Win32WindowSystem::ActiveFormWindow() const {
  const HWND active = ::GetActiveWindow();
  if (!active || !::IsWindowVisible(active))
    return nullptr;
  for (const auto& [form, window] : windows_) {
    if (window->handle() == active)
      return active;
  }
  return nullptr;
}

void Win32WindowSystem::ReleaseModalOwners(HWND modal) {
  for (ModalOwners* owners : modal_stack_) {
    if (owners->modal() == modal)
      owners->Release();
  }
}

bool Win32WindowSystem::FilterKeyboard(MSG& message) {
  if (message.message < WM_KEYFIRST || message.message > WM_KEYLAST || !message.hwnd)
    return false;
  const HWND root = ::GetAncestor(message.hwnd, GA_ROOT);
  for (const auto& [form, window] : windows_) {
    if (window->handle() == root)
      return ::IsDialogMessageW(root, &message) != FALSE;
  }
  return false;
}

}  // namespace tavoro::platform::win32
