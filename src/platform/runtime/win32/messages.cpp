// The message queue, the keyboard and the millisecond clock. SDL events become window messages:
// key presses WM_KEYDOWN/WM_KEYUP with virtual-key codes, a closed window WM_CLOSE (which
// DefWindowProcA turns into WM_DESTROY), and PostQuitMessage a final WM_QUIT.
#include <SDL.h>
#include <time.h>

#include <cstdio>
#include <cstdlib>
#include <deque>
#include <functional>
#include <map>

#include "platform/runtime/win32/internal.h"
#include "platform/runtime/win32/testing.h"
#include "platform/runtime/win32/window.h"

namespace vellomir::platform::detail {

namespace {

struct QueuedMessage {
  MSG msg;
  // Posted by a test before any window existed: goes to the main window once there is one.
  bool toMainWindow;
};

struct MessageState {
  std::deque<QueuedMessage> queue;
  bool quitPending = false;
  int quitCode = 0;
  std::function<void()> idleHook;
  bool scriptedKeys = false;
  std::map<int, bool> keys;
  // Automatic Escape for smoke runs (see ArmSmokeQuit), in SDL ticks.
  bool smokeArmed = false;
  Uint64 smokeDeadline = 0;
};

MessageState& State() {
  static MessageState state;
  return state;
}

struct ClockState {
  bool fake = false;
  DWORD now = 0;
};

ClockState& Clock() {
  static ClockState clock;
  return clock;
}

// Virtual-key code of an SDL key, 0 for keys the system has no code for.
int VirtualKeyOf(SDL_Keycode key) {
  if (key >= SDLK_a && key <= SDLK_z) return 'A' + (key - SDLK_a);
  if (key >= SDLK_0 && key <= SDLK_9) return '0' + (key - SDLK_0);
  if (key >= SDLK_F1 && key <= SDLK_F12) return VK_F1 + (key - SDLK_F1);
  switch (key) {
    case SDLK_RETURN:
    case SDLK_KP_ENTER:
      return VK_RETURN;
    case SDLK_ESCAPE:
      return VK_ESCAPE;
    case SDLK_SPACE:
      return VK_SPACE;
    case SDLK_BACKSPACE:
      return VK_BACK;
    case SDLK_TAB:
      return VK_TAB;
    case SDLK_DELETE:
      return VK_DELETE;
    case SDLK_LEFT:
      return VK_LEFT;
    case SDLK_RIGHT:
      return VK_RIGHT;
    case SDLK_UP:
      return VK_UP;
    case SDLK_DOWN:
      return VK_DOWN;
    case SDLK_LSHIFT:
    case SDLK_RSHIFT:
      return VK_SHIFT;
    case SDLK_LCTRL:
    case SDLK_RCTRL:
      return VK_CONTROL;
    case SDLK_LALT:
    case SDLK_RALT:
      return VK_MENU;
    default:
      return 0;
  }
}

// The physical keys that produce a virtual-key code (at most two: left and right variants).
int ScancodesOf(int vk, SDL_Scancode out[2]) {
  SDL_Keycode key = SDLK_UNKNOWN, second = SDLK_UNKNOWN;
  if (vk >= 'A' && vk <= 'Z') key = SDLK_a + (vk - 'A');
  else if (vk >= '0' && vk <= '9') key = SDLK_0 + (vk - '0');
  else if (vk >= VK_F1 && vk < VK_F1 + 12) key = SDLK_F1 + (vk - VK_F1);
  else {
    switch (vk) {
      case VK_RETURN: key = SDLK_RETURN; second = SDLK_KP_ENTER; break;
      case VK_ESCAPE: key = SDLK_ESCAPE; break;
      case VK_SPACE: key = SDLK_SPACE; break;
      case VK_BACK: key = SDLK_BACKSPACE; break;
      case VK_TAB: key = SDLK_TAB; break;
      case VK_DELETE: key = SDLK_DELETE; break;
      case VK_LEFT: key = SDLK_LEFT; break;
      case VK_RIGHT: key = SDLK_RIGHT; break;
      case VK_UP: key = SDLK_UP; break;
      case VK_DOWN: key = SDLK_DOWN; break;
      case VK_SHIFT: key = SDLK_LSHIFT; second = SDLK_RSHIFT; break;
      case VK_CONTROL: key = SDLK_LCTRL; second = SDLK_RCTRL; break;
      case VK_MENU: key = SDLK_LALT; second = SDLK_RALT; break;
      default: break;
    }
  }
  int n = 0;
  if (key != SDLK_UNKNOWN) out[n++] = SDL_GetScancodeFromKey(key);
  if (second != SDLK_UNKNOWN) out[n++] = SDL_GetScancodeFromKey(second);
  return n;
}

void Post(HWND window, UINT message, WPARAM wParam, LPARAM lParam, bool toMain) {
  MSG msg{window, message, wParam, lParam, timeGetTime(), {0, 0}};
  State().queue.push_back({msg, toMain});
}

HWND TargetOf(Uint32 sdlWindowId) {
  HWND window = WindowFromSdlId(sdlWindowId);
  return window ? window : MainWindowHandle();
}

void Translate(const SDL_Event& e) {
  switch (e.type) {
    case SDL_KEYDOWN:
    case SDL_KEYUP: {
      int vk = VirtualKeyOf(e.key.keysym.sym);
      HWND window = TargetOf(e.key.windowID);
      if (!vk || !window) return;
      // lParam: repeat count 1, scan code in bits 16-23, bit 30 previous state, bit 31 release.
      LPARAM lParam = 1 | (static_cast<LPARAM>(e.key.keysym.scancode & 0xFF) << 16);
      if (e.type == SDL_KEYUP) {
        lParam |= (LPARAM{1} << 30) | (LPARAM{1} << 31);
      } else if (e.key.repeat) {
        lParam |= LPARAM{1} << 30;
      }
      Post(window, e.type == SDL_KEYDOWN ? WM_KEYDOWN : WM_KEYUP, static_cast<WPARAM>(vk), lParam,
           false);
      return;
    }
    case SDL_WINDOWEVENT:
      if (e.window.event == SDL_WINDOWEVENT_CLOSE) {
        HWND window = WindowFromSdlId(e.window.windowID);
        if (window) Post(window, WM_CLOSE, 0, 0, false);
      }
      return;
    case SDL_QUIT: {
      // Only an interrupt from outside gets here (the last window's close is not a quit):
      // ask the main window to close, as the user would.
      HWND window = MainWindowHandle();
      if (window) Post(window, WM_CLOSE, 0, 0, false);
      return;
    }
    default:
      return;
  }
}

void InjectSmokeQuitIfDue() {
  MessageState& s = State();
  if (!s.smokeArmed || SDL_GetTicks64() < s.smokeDeadline) return;
  s.smokeArmed = false;
  HWND main = MainWindowHandle();
  SDL_Window* sdl = vellomir::platform::SdlWindowOf(main);
  if (!sdl) return;
  int x = 0, y = 0, w = 0, h = 0;
  SDL_GetWindowPosition(sdl, &x, &y);
  SDL_GetWindowSize(sdl, &w, &h);
  std::fprintf(stderr, "vellomir: window \"%s\" at (%d, %d), client %dx%d; sending Escape\n",
               SDL_GetWindowTitle(sdl), x, y, w, h);
  SDL_Event e{};
  e.type = SDL_KEYDOWN;
  e.key.windowID = SDL_GetWindowID(sdl);
  e.key.state = SDL_PRESSED;
  e.key.keysym.scancode = SDL_SCANCODE_ESCAPE;
  e.key.keysym.sym = SDLK_ESCAPE;
  SDL_PushEvent(&e);
  e.type = SDL_KEYUP;
  e.key.state = SDL_RELEASED;
  SDL_PushEvent(&e);
}

// Moves every waiting SDL event into the queue.
void Pump() {
  if (!SdlVideoActive()) return;
  InjectSmokeQuitIfDue();
  SDL_Event e;
  while (SDL_PollEvent(&e)) Translate(e);
}

// A window filter of -1 asks for thread messages (those without a window) only.
HWND ThreadMessagesOnly() { return reinterpret_cast<HWND>(static_cast<intptr_t>(-1)); }

bool Matches(const MSG& msg, HWND window, UINT first, UINT last) {
  if (window == ThreadMessagesOnly()) {
    if (msg.hwnd) return false;
  } else if (window && msg.hwnd != window) {
    return false;
  }
  if (first == 0 && last == 0) return true;
  return msg.message >= first && msg.message <= last;
}

// Takes the first matching message: posted ones in order, then WM_QUIT once the posted ones
// matching the filter are gone.
bool Take(MSG* out, HWND window, UINT first, UINT last, bool remove) {
  MessageState& s = State();
  for (auto it = s.queue.begin(); it != s.queue.end();) {
    if (it->toMainWindow) {
      HWND main = MainWindowHandle();
      if (main) {
        it->msg.hwnd = main;
        it->toMainWindow = false;
      }
    }
    // Messages for windows that have gone are dropped with them.
    if (!it->toMainWindow && it->msg.hwnd && !WindowProcOf(it->msg.hwnd)) {
      it = s.queue.erase(it);
      continue;
    }
    if (!it->toMainWindow && Matches(it->msg, window, first, last)) {
      *out = it->msg;
      if (remove) s.queue.erase(it);
      return true;
    }
    ++it;
  }
  bool quitInRange = (first == 0 && last == 0) || (WM_QUIT >= first && WM_QUIT <= last);
  if (s.quitPending && (!window || window == ThreadMessagesOnly()) && quitInRange) {
    *out = MSG{nullptr, WM_QUIT, static_cast<WPARAM>(s.quitCode), 0, timeGetTime(), {0, 0}};
    if (remove) s.quitPending = false;
    return true;
  }
  return false;
}

// Waits about `ms` milliseconds for something to happen, so that an idle loop sleeps instead
// of spinning. Returns at once with a fake clock: waiting would not move it.
void Wait(int ms) {
  MessageState& s = State();
  if (s.idleHook) {
    s.idleHook();
    return;
  }
  if (SdlVideoActive()) {
    SDL_Event e;
    if (SDL_WaitEventTimeout(&e, ms)) Translate(e);
    return;
  }
  if (Clock().fake) return;
  timespec pause{0, static_cast<long>(ms) * 1000000L};
  nanosleep(&pause, nullptr);
}

}  // namespace

void ResetMessages() {
  MessageState& s = State();
  s.queue.clear();
  s.quitPending = false;
  s.quitCode = 0;
  s.idleHook = nullptr;
  s.scriptedKeys = false;
  s.keys.clear();
}

void ResetClock() { Clock() = ClockState{}; }

void ArmSmokeQuit() {
  MessageState& s = State();
  static bool armedOnce = false;
  if (armedOnce) return;
  armedOnce = true;
  const char* after = std::getenv("VELLOMIR_SMOKE_QUIT_AFTER_MS");
  if (!after || !*after) return;
  char* end = nullptr;
  unsigned long ms = std::strtoul(after, &end, 10);
  if (*end) return;
  s.smokeArmed = true;
  s.smokeDeadline = SDL_GetTicks64() + ms;
}

}  // namespace vellomir::platform::detail

using namespace vellomir::platform::detail;

namespace vellomir::platform::testing {

void SetFakeTime(DWORD ms) {
  Clock().fake = true;
  Clock().now = ms;
}
void AdvanceFakeTime(DWORD ms) {
  if (!Clock().fake) SetFakeTime(timeGetTime());
  Clock().now += ms;  // wraps around like the real clock
}
void UseRealTime() { Clock().fake = false; }

void SetKeyDown(int virtualKey, bool down) {
  State().scriptedKeys = true;
  State().keys[virtualKey] = down;
}

void PostWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  HWND target = window ? window : MainWindowHandle();
  Post(target, message, wParam, lParam, target == nullptr);
}

void CloseWindow(HWND window) { PostWindowMessage(window, WM_CLOSE, 0, 0); }

void SetIdleHook(std::function<void()> hook) { State().idleHook = std::move(hook); }

}  // namespace vellomir::platform::testing

BOOL PeekMessageA(MSG* msg, HWND window, UINT filterMin, UINT filterMax, UINT removeFlags) {
  if (!msg) return FALSE;
  bool remove = (removeFlags & PM_REMOVE) != 0;
  if (Take(msg, window, filterMin, filterMax, remove)) return TRUE;
  Pump();
  if (Take(msg, window, filterMin, filterMax, remove)) return TRUE;
  // Nothing waits: give the processor back for about a millisecond, then look once more. The
  // caller's frame timing reads the clock, so this costs at most that millisecond.
  Wait(1);
  Pump();
  return Take(msg, window, filterMin, filterMax, remove) ? TRUE : FALSE;
}

BOOL GetMessageA(MSG* msg, HWND window, UINT filterMin, UINT filterMax) {
  if (!msg) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return -1;
  }
  for (;;) {
    if (Take(msg, window, filterMin, filterMax, true)) return msg->message == WM_QUIT ? 0 : 1;
    Pump();
    if (Take(msg, window, filterMin, filterMax, true)) return msg->message == WM_QUIT ? 0 : 1;
    Wait(10);
  }
}

BOOL TranslateMessage(const MSG* msg) {
  if (!msg || msg->message != WM_KEYDOWN) return FALSE;
  // Characters for the keys whose character does not depend on modifiers or layout.
  WPARAM ch = 0;
  int vk = static_cast<int>(msg->wParam);
  if (vk == VK_RETURN || vk == VK_ESCAPE || vk == VK_SPACE || vk == VK_BACK || vk == VK_TAB) {
    ch = static_cast<WPARAM>(vk);
  } else if (vk >= '0' && vk <= '9') {
    ch = static_cast<WPARAM>(vk);
  } else if (vk >= 'A' && vk <= 'Z') {
    bool shift = GetAsyncKeyState(VK_SHIFT) & 0x8000;
    ch = static_cast<WPARAM>(shift ? vk : vk - 'A' + 'a');
  }
  if (!ch) return FALSE;
  MSG charMsg = *msg;
  charMsg.message = WM_CHAR;
  charMsg.wParam = ch;
  State().queue.push_back({charMsg, false});
  return TRUE;
}

LRESULT DispatchMessageA(const MSG* msg) {
  if (!msg || !msg->hwnd) return 0;  // thread messages have no procedure
  WNDPROC procedure = WindowProcOf(msg->hwnd);
  if (!procedure) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return 0;
  }
  return procedure(msg->hwnd, msg->message, msg->wParam, msg->lParam);
}

void PostQuitMessage(int exitCode) {
  State().quitPending = true;
  State().quitCode = exitCode;
}

LRESULT DefWindowProcA(HWND window, UINT message, WPARAM, LPARAM) {
  if (message == WM_CLOSE) DestroyWindowInternal(window);
  return 0;
}

short GetAsyncKeyState(int virtualKey) {
  constexpr short kDown = static_cast<short>(0x8000);
  MessageState& s = State();
  if (s.scriptedKeys) {
    auto it = s.keys.find(virtualKey);
    return it != s.keys.end() && it->second ? kDown : 0;
  }
  if (!SdlVideoActive()) return 0;
  SDL_Scancode codes[2];
  int n = ScancodesOf(virtualKey, codes);
  int count = 0;
  const Uint8* state = SDL_GetKeyboardState(&count);
  for (int i = 0; i < n; ++i)
    if (codes[i] < count && state[codes[i]]) return kDown;
  return 0;
}

DWORD timeGetTime() {
  if (Clock().fake) return Clock().now;
  // Milliseconds since boot, truncated to 32 bits: it wraps after about 49.7 days.
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  uint64_t ms = static_cast<uint64_t>(now.tv_sec) * 1000u + static_cast<uint64_t>(now.tv_nsec) / 1000000u;
  return static_cast<DWORD>(ms);
}
