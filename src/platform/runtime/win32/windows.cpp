// Window classes and windows. A window is a record of ours; unless the runtime is headless it
// also owns an SDL window whose size is the client area (the window manager draws the frame).
#include <SDL.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "platform/runtime/win32/internal.h"
#include "platform/runtime/win32/testing.h"
#include "platform/runtime/win32/window.h"

namespace vellomir::platform::detail {

namespace {

// Frame metrics in pixels, those of a classic desktop theme. CreateWindowExA takes them off the
// outer size, so a caller that adds them on (as the game does) gets the client size it asked for.
constexpr int kCaptionHeight = 19;
constexpr int kDialogFrame = 3;
constexpr int kThickFrame = 4;
constexpr int kBorder = 1;
// Reported when no display is open.
constexpr int kDefaultScreenWidth = 1024;
constexpr int kDefaultScreenHeight = 768;
// The 32-bit layout's size of WNDCLASSEXA, which callers written for that layout pass.
constexpr UINT kWndClassExSize32 = 48;
constexpr ATOM kFirstAtom = 0xC000;

struct WindowClass {
  std::string name;
  UINT style;
  WNDPROC procedure;
  HINSTANCE instance;
  ATOM atom;
};

enum class HeadlessMode { Auto, On, Off };

struct WindowState {
  std::vector<WindowClass> classes;
  std::vector<std::unique_ptr<Window>> windows;
  std::vector<vellomir::platform::testing::CreatedWindow> created;
  ATOM nextAtom = kFirstAtom;
  HeadlessMode headless = HeadlessMode::Auto;
  bool failRegisterClass = false;
  bool failCreateWindow = false;
  bool sdlTried = false;
  bool sdlUp = false;
};

WindowState& State() {
  static WindowState state;
  return state;
}

bool SameName(const std::string& a, const char* b) {
  return b && SDL_strcasecmp(a.c_str(), b) == 0;
}

// Frame thickness implied by a style, per side, and the caption height.
void FrameOf(DWORD style, int* frameX, int* frameY, int* caption) {
  *frameX = *frameY = *caption = 0;
  if ((style & WS_CAPTION) == WS_CAPTION) *caption = kCaptionHeight;
  if (style & WS_THICKFRAME) {
    *frameX = *frameY = kThickFrame;
  } else if (style & WS_DLGFRAME) {
    *frameX = *frameY = kDialogFrame;
  } else if (style & WS_BORDER) {
    *frameX = *frameY = kBorder;
  }
}

}  // namespace

struct Window {
  HWND handle() { return reinterpret_cast<HWND>(this); }
  std::string className;
  std::string title;
  WNDPROC procedure = nullptr;
  DWORD style = 0;
  DWORD exStyle = 0;
  int x = 0, y = 0;
  int clientWidth = 0, clientHeight = 0;
  bool visible = false;
  bool destroyed = false;
  SDL_Window* sdl = nullptr;
};

bool EnsureSdlVideo() {
  WindowState& s = State();
  if (!s.sdlTried) {
    s.sdlTried = true;
    // Closing the window must reach the window procedure as a close, not as a second,
    // process-wide quit request.
    SDL_SetHint(SDL_HINT_QUIT_ON_LAST_WINDOW_CLOSE, "0");
    s.sdlUp = SDL_InitSubSystem(SDL_INIT_VIDEO) == 0;
  }
  return s.sdlUp;
}

bool HeadlessForced() { return State().headless == HeadlessMode::On; }
bool SdlVideoActive() { return State().sdlUp && !Headless(); }

bool Headless() {
  WindowState& s = State();
  if (s.headless == HeadlessMode::On) return true;
  if (s.headless == HeadlessMode::Off) return false;
  if (!EnsureSdlVideo()) return true;
  const char* driver = SDL_GetCurrentVideoDriver();
  return !driver || std::strcmp(driver, "dummy") == 0 || std::strcmp(driver, "offscreen") == 0;
}

Window* FindWindow(HWND window) {
  for (auto& w : State().windows)
    if (w->handle() == window) return w.get();
  return nullptr;
}

HWND WindowFromSdlId(Uint32 id) {
  for (auto& w : State().windows)
    if (w->sdl && SDL_GetWindowID(w->sdl) == id) return w->handle();
  return nullptr;
}

HWND MainWindowHandle() {
  for (auto& w : State().windows)
    if (!w->destroyed) return w->handle();
  return nullptr;
}

WNDPROC WindowProcOf(HWND window) {
  Window* w = FindWindow(window);
  return w && !w->destroyed ? w->procedure : nullptr;
}

void DestroyWindowInternal(HWND window) {
  Window* w = FindWindow(window);
  if (!w || w->destroyed) return;
  w->destroyed = true;
  w->visible = false;
  // The SDL window is only hidden: a presenter may still hold it until the device goes away.
  if (w->sdl) SDL_HideWindow(w->sdl);
  if (w->procedure) w->procedure(window, WM_DESTROY, 0, 0);
}

void ResetWindows() {
  WindowState& s = State();
  for (auto& w : s.windows)
    if (w->sdl) SDL_DestroyWindow(w->sdl);
  s.windows.clear();
  s.classes.clear();
  s.created.clear();
  s.nextAtom = kFirstAtom;
  s.headless = HeadlessMode::Auto;
  s.failRegisterClass = false;
  s.failCreateWindow = false;
}

}  // namespace vellomir::platform::detail

using namespace vellomir::platform::detail;

namespace vellomir::platform {

SDL_Window* SdlWindowOf(HWND window) {
  Window* w = FindWindow(window);
  return w ? w->sdl : nullptr;
}

bool ClientSizeOf(HWND window, int* width, int* height) {
  Window* w = FindWindow(window);
  if (!w) return false;
  if (width) *width = w->clientWidth;
  if (height) *height = w->clientHeight;
  return true;
}

namespace testing {

void SetHeadless(bool headless) {
  State().headless = headless ? HeadlessMode::On : HeadlessMode::Off;
}
bool IsHeadless() { return Headless(); }
void FailRegisterClass(bool fail) { State().failRegisterClass = fail; }
void FailCreateWindow(bool fail) { State().failCreateWindow = fail; }
const std::vector<CreatedWindow>& CreatedWindows() { return State().created; }

}  // namespace testing
}  // namespace vellomir::platform

ATOM RegisterClassExA(const WNDCLASSEXA* wc) {
  WindowState& s = State();
  if (!wc || (wc->cbSize != sizeof(WNDCLASSEXA) && wc->cbSize != kWndClassExSize32) ||
      !wc->lpfnWndProc || !wc->lpszClassName || !*wc->lpszClassName) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  if (s.failRegisterClass) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return 0;
  }
  for (const WindowClass& c : s.classes) {
    if (SameName(c.name, wc->lpszClassName)) {
      SetLastError(ERROR_CLASS_ALREADY_EXISTS);
      return 0;
    }
  }
  if (s.nextAtom == 0) {  // every atom handed out
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return 0;
  }
  ATOM atom = s.nextAtom++;
  s.classes.push_back({wc->lpszClassName, wc->style, wc->lpfnWndProc, wc->hInstance, atom});
  return atom;
}

HWND CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style, int x, int y,
                     int width, int height, HWND parent, HMENU menu, HINSTANCE instance,
                     LPVOID param) {
  WindowState& s = State();
  const WindowClass* cls = nullptr;
  for (const WindowClass& c : s.classes)
    if (SameName(c.name, className)) cls = &c;
  if (!cls) {
    SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
    return nullptr;
  }
  if (parent && !FindWindow(parent)) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return nullptr;
  }
  if (s.failCreateWindow) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }

  auto w = std::make_unique<Window>();
  w->className = cls->name;
  w->title = windowName ? windowName : "";
  w->procedure = cls->procedure;
  w->style = style;
  w->exStyle = exStyle;
  w->x = x;
  w->y = y;
  int frameX, frameY, caption;
  FrameOf(style, &frameX, &frameY, &caption);
  w->clientWidth = std::max(0, width - 2 * frameX);
  w->clientHeight = std::max(0, height - caption - 2 * frameY);
  w->visible = (style & WS_VISIBLE) != 0;

  if (!Headless()) {
    if (!EnsureSdlVideo()) {
      SetLastError(ERROR_NOT_ENOUGH_MEMORY);
      return nullptr;
    }
    Uint32 flags = w->visible ? SDL_WINDOW_SHOWN : SDL_WINDOW_HIDDEN;
    if ((style & WS_CAPTION) != WS_CAPTION && !(style & WS_THICKFRAME)) flags |= SDL_WINDOW_BORDERLESS;
    if (style & WS_THICKFRAME) flags |= SDL_WINDOW_RESIZABLE;
    if (exStyle & WS_EX_TOPMOST) flags |= SDL_WINDOW_ALWAYS_ON_TOP;
    // SDL refuses empty windows; a zero-sized client still gets one pixel.
    w->sdl = SDL_CreateWindow(w->title.c_str(), x, y, std::max(1, w->clientWidth),
                              std::max(1, w->clientHeight), flags);
    if (!w->sdl) {
      SetLastError(ERROR_NOT_ENOUGH_MEMORY);
      return nullptr;
    }
    ArmSmokeQuit();
  }

  HWND handle = w->handle();
  s.windows.push_back(std::move(w));
  s.created.push_back({exStyle, cls->name, windowName ? windowName : "", style, x, y, width,
                       height, handle});

  CREATESTRUCTA create{param, instance, menu, parent, height, width, y, x,
                       static_cast<LONG>(style), windowName, className, exStyle};
  if (cls->procedure(handle, WM_CREATE, 0, reinterpret_cast<LPARAM>(&create)) == -1) {
    // The procedure refused the window.
    DestroyWindowInternal(handle);
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  return handle;
}

BOOL ShowWindow(HWND window, int command) {
  Window* w = FindWindow(window);
  if (!w || w->destroyed) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  BOOL wasVisible = w->visible ? TRUE : FALSE;
  w->visible = command != SW_HIDE;
  if (w->sdl) {
    if (w->visible) {
      SDL_ShowWindow(w->sdl);
    } else {
      SDL_HideWindow(w->sdl);
    }
  }
  return wasVisible;
}

BOOL UpdateWindow(HWND window) {
  Window* w = FindWindow(window);
  if (!w || w->destroyed) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  return TRUE;  // nothing is painted outside the device's frames
}

BOOL GetClientRect(HWND window, RECT* rect) {
  Window* w = FindWindow(window);
  if (!w || w->destroyed || !rect) {
    SetLastError(w ? ERROR_INVALID_PARAMETER : ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  *rect = {0, 0, w->clientWidth, w->clientHeight};
  return TRUE;
}

int GetSystemMetrics(int index) {
  switch (index) {
    case SM_CXSCREEN:
    case SM_CYSCREEN: {
      SDL_DisplayMode mode;
      if (!Headless() && EnsureSdlVideo() && SDL_GetDesktopDisplayMode(0, &mode) == 0)
        return index == SM_CXSCREEN ? mode.w : mode.h;
      return index == SM_CXSCREEN ? kDefaultScreenWidth : kDefaultScreenHeight;
    }
    case SM_CYCAPTION:
      return kCaptionHeight;
    case SM_CXBORDER:
    case SM_CYBORDER:
      return kBorder;
    case SM_CXDLGFRAME:
    case SM_CYDLGFRAME:
      return kDialogFrame;
    case SM_CXFRAME:
    case SM_CYFRAME:
      return kThickFrame;
    default:
      return 0;
  }
}

namespace {
// Stock icons and cursors are never drawn by this runtime; each identifier gets a stable,
// non-null handle so that callers can store and compare them.
constexpr uintptr_t kStockIconBase = 0x7E000000;
HICON StockHandle(LPCSTR name) {
  return reinterpret_cast<HICON>(kStockIconBase + reinterpret_cast<uintptr_t>(name));
}
}  // namespace

HICON LoadIconA(HINSTANCE instance, LPCSTR name) {
  if (instance || !name || reinterpret_cast<uintptr_t>(name) > 0xFFFF) {
    SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
    return nullptr;
  }
  return StockHandle(name);
}

HCURSOR LoadCursorA(HINSTANCE instance, LPCSTR name) {
  HICON icon = LoadIconA(instance, name);
  // Cursors live in a range of their own so that an icon and a cursor never compare equal.
  return icon ? reinterpret_cast<HCURSOR>(reinterpret_cast<uintptr_t>(icon) + 0x10000) : nullptr;
}
