// Windows, the message queue, the keyboard, the clock and message boxes.
#include <SDL.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "platform/api/win32.h"
#include "platform/runtime/win32/testing.h"
#include "platform/runtime/win32/window.h"

namespace {

namespace t = vellomir::platform::testing;

struct Received {
  HWND window;
  UINT message;
  WPARAM wParam;
};
std::vector<Received> received;

LRESULT RecordingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  received.push_back({window, message, wParam});
  return DefWindowProcA(window, message, wParam, lParam);
}

class WindowsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    t::ResetAll();
    t::SetHeadless(true);
    received.clear();
  }
  void TearDown() override { t::ResetAll(); }

  static ATOM Register(const char* name) {
    WNDCLASSEXA wc{};
    wc.cbSize = 48;
    wc.style = CS_CLASSDC;
    wc.lpfnWndProc = RecordingProc;
    wc.hIcon = LoadIconA(nullptr, IDI_WINLOGO);
    wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    wc.lpszClassName = name;
    return RegisterClassExA(&wc);
  }

  // A window whose outer size is derived from the system metrics, as the game does it.
  static HWND CreateGameLikeWindow(int clientWidth, int clientHeight) {
    int width = clientWidth + 2 * GetSystemMetrics(SM_CXDLGFRAME);
    int height =
        clientHeight + GetSystemMetrics(SM_CYCAPTION) + 2 * GetSystemMetrics(SM_CYDLGFRAME);
    return CreateWindowExA(0x00040108, "abc", "Vellomir", 0x90C80000, 120, 100, width, height,
                           nullptr, nullptr, nullptr, nullptr);
  }

  static std::vector<UINT> Drain() {
    std::vector<UINT> messages;
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      messages.push_back(msg.message);
      if (msg.message == WM_QUIT) break;
      DispatchMessageA(&msg);
    }
    return messages;
  }
};

TEST_F(WindowsTest, ClientAreaIsOuterSizeLessFrameAndCaption) {
  ASSERT_NE(Register("abc"), 0);
  HWND window = CreateGameLikeWindow(640, 480);
  ASSERT_NE(window, nullptr);
  RECT client{};
  ASSERT_TRUE(GetClientRect(window, &client));
  EXPECT_EQ(client.left, 0);
  EXPECT_EQ(client.top, 0);
  EXPECT_EQ(client.right, 640);
  EXPECT_EQ(client.bottom, 480);
  int w = 0, h = 0;
  EXPECT_TRUE(vellomir::platform::ClientSizeOf(window, &w, &h));
  EXPECT_EQ(w, 640);
  EXPECT_EQ(h, 480);
  EXPECT_EQ(vellomir::platform::SdlWindowOf(window), nullptr);  // headless

  ASSERT_EQ(t::CreatedWindows().size(), 1u);
  const t::CreatedWindow& created = t::CreatedWindows()[0];
  EXPECT_EQ(created.exStyle, 0x00040108u);
  EXPECT_EQ(created.className, "abc");
  EXPECT_EQ(created.title, "Vellomir");
  EXPECT_EQ(created.style, 0x90C80000u);
  EXPECT_EQ(created.x, 120);
  EXPECT_EQ(created.y, 100);
  EXPECT_EQ(created.handle, window);
  // The procedure saw the window being created.
  ASSERT_FALSE(received.empty());
  EXPECT_EQ(received[0].message, static_cast<UINT>(WM_CREATE));
  EXPECT_TRUE(ShowWindow(window, SW_SHOW));
  EXPECT_TRUE(UpdateWindow(window));
}

TEST_F(WindowsTest, ClassAndWindowCreationFailures) {
  EXPECT_EQ(CreateGameLikeWindow(640, 480), nullptr);  // no such class yet
  EXPECT_EQ(GetLastError(), ERROR_CANNOT_FIND_WND_CLASS);
  ASSERT_NE(Register("abc"), 0);
  EXPECT_EQ(Register("ABC"), 0);  // class names compare case-insensitively
  EXPECT_EQ(GetLastError(), ERROR_CLASS_ALREADY_EXISTS);

  t::FailRegisterClass(true);
  EXPECT_EQ(Register("other"), 0);
  t::FailCreateWindow(true);
  EXPECT_EQ(CreateGameLikeWindow(640, 480), nullptr);
  EXPECT_TRUE(t::CreatedWindows().empty());
  t::FailCreateWindow(false);
  EXPECT_NE(CreateGameLikeWindow(640, 480), nullptr);

  RECT r;
  EXPECT_FALSE(GetClientRect(nullptr, &r));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_WINDOW_HANDLE);
}

TEST_F(WindowsTest, PostedMessagesInOrderThenQuitWithItsCode) {
  // Posted before the window exists: delivered to the main window once it does.
  t::PostWindowMessage(nullptr, WM_KEYDOWN, VK_LEFT, 0);
  ASSERT_NE(Register("abc"), 0);
  HWND window = CreateGameLikeWindow(640, 480);
  t::PostWindowMessage(window, WM_KEYUP, VK_LEFT, 0);
  PostQuitMessage(7);

  MSG msg{};
  // Looking without removing leaves the message where it is.
  ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE));
  EXPECT_EQ(msg.message, static_cast<UINT>(WM_KEYDOWN));
  EXPECT_EQ(msg.hwnd, window);
  ASSERT_EQ(GetMessageA(&msg, nullptr, 0, 0), 1);
  EXPECT_EQ(msg.message, static_cast<UINT>(WM_KEYDOWN));
  EXPECT_EQ(msg.wParam, static_cast<WPARAM>(VK_LEFT));
  ASSERT_EQ(GetMessageA(&msg, nullptr, 0, 0), 1);
  EXPECT_EQ(msg.message, static_cast<UINT>(WM_KEYUP));
  // WM_QUIT comes after the posted messages, with the exit code in wParam, and only once.
  ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE));
  EXPECT_EQ(msg.message, static_cast<UINT>(WM_QUIT));
  EXPECT_EQ(GetMessageA(&msg, nullptr, 0, 0), 0);
  EXPECT_EQ(msg.wParam, 7u);
  EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE));
}

TEST_F(WindowsTest, ClosingTheWindowReachesTheProcedureAsDestroy) {
  ASSERT_NE(Register("abc"), 0);
  HWND window = CreateGameLikeWindow(640, 480);
  received.clear();
  t::CloseWindow(window);
  t::PostWindowMessage(window, WM_KEYDOWN, VK_RETURN, 0);  // dropped with the window
  EXPECT_EQ(Drain(), (std::vector<UINT>{WM_CLOSE}));
  ASSERT_EQ(received.size(), 2u);
  EXPECT_EQ(received[0].message, static_cast<UINT>(WM_CLOSE));
  EXPECT_EQ(received[1].message, static_cast<UINT>(WM_DESTROY));
  EXPECT_EQ(received[1].window, window);
  RECT r;
  EXPECT_FALSE(GetClientRect(window, &r));
}

TEST_F(WindowsTest, TranslateMessageAddsCharacters) {
  ASSERT_NE(Register("abc"), 0);
  HWND window = CreateGameLikeWindow(640, 480);
  MSG key{window, WM_KEYDOWN, 'A', 0, 0, {0, 0}};
  EXPECT_TRUE(TranslateMessage(&key));
  MSG arrow{window, WM_KEYDOWN, VK_LEFT, 0, 0, {0, 0}};
  EXPECT_FALSE(TranslateMessage(&arrow));
  MSG msg;
  ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(msg.message, static_cast<UINT>(WM_CHAR));
  EXPECT_EQ(msg.wParam, static_cast<WPARAM>('a'));
}

TEST_F(WindowsTest, IdleHookRunsWhenNothingWaits) {
  ASSERT_NE(Register("abc"), 0);
  HWND window = CreateGameLikeWindow(640, 480);
  int idleCalls = 0;
  t::SetIdleHook([&] {
    if (++idleCalls == 3) t::PostWindowMessage(window, WM_KEYDOWN, VK_ESCAPE, 0);
  });
  MSG msg;
  EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE));
  EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE));
  // The third idle call posts, and the same call returns the message.
  ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE));
  EXPECT_EQ(msg.wParam, static_cast<WPARAM>(VK_ESCAPE));
  EXPECT_EQ(idleCalls, 3);
}

TEST_F(WindowsTest, ScriptedKeysAndFakeClock) {
  EXPECT_EQ(GetAsyncKeyState(VK_RETURN), 0);
  t::SetKeyDown(VK_RETURN, true);
  EXPECT_NE(GetAsyncKeyState(VK_RETURN) & 0x8000, 0);
  EXPECT_EQ(GetAsyncKeyState(VK_LEFT), 0);
  t::SetKeyDown(VK_RETURN, false);
  EXPECT_EQ(GetAsyncKeyState(VK_RETURN), 0);

  t::SetFakeTime(0xFFFFFFF0u);
  EXPECT_EQ(timeGetTime(), 0xFFFFFFF0u);
  t::AdvanceFakeTime(0x20);  // wraps like the real counter
  EXPECT_EQ(timeGetTime(), 0x10u);
  t::UseRealTime();
  DWORD a = timeGetTime();
  SDL_Delay(20);
  DWORD b = timeGetTime();
  EXPECT_GE(b - a, 19u);
  EXPECT_LT(b - a, 1000u);
}

TEST_F(WindowsTest, MessageBoxesAreCapturedWhenHeadless) {
  EXPECT_EQ(MessageBoxA(nullptr, "text", "ERROR", MB_ICONERROR), IDOK);
  ASSERT_EQ(t::CapturedMessageBoxes().size(), 1u);
  EXPECT_EQ(t::CapturedMessageBoxes()[0].owner, nullptr);
  EXPECT_EQ(t::CapturedMessageBoxes()[0].text, "text");
  EXPECT_EQ(t::CapturedMessageBoxes()[0].caption, "ERROR");
  EXPECT_EQ(t::CapturedMessageBoxes()[0].type, 0x10u);
}

// Without a display nothing can be shown, yet a start-up error must not vanish silently.
TEST_F(WindowsTest, MessageBoxTextReachesStderrWhenNoDisplayCanShowIt) {
  setenv("SDL_VIDEODRIVER", "dummy", 0);
  t::ResetAll();  // headless decided by the environment, not forced
  if (!t::IsHeadless()) GTEST_SKIP() << "a display is open here";
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(MessageBoxA(nullptr, "no device", "ERROR", MB_ICONERROR), IDOK);
  std::string err = ::testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("ERROR: no device"), std::string::npos) << err;
  EXPECT_EQ(t::CapturedMessageBoxes().size(), 1u);

  // A test that forces headless mode or asks for captures gets no output.
  for (bool forced : {true, false}) {
    t::ResetAll();
    if (forced) t::SetHeadless(true);
    else t::CaptureMessageBoxes(true);
    ::testing::internal::CaptureStderr();
    MessageBoxA(nullptr, "quiet", "ERROR", MB_ICONERROR);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "") << forced;
    EXPECT_EQ(t::CapturedMessageBoxes().size(), 1u) << forced;
  }
}

TEST_F(WindowsTest, StockIconsAndCursorsAreDistinctHandles) {
  HICON logo = LoadIconA(nullptr, IDI_WINLOGO);
  EXPECT_NE(logo, nullptr);
  EXPECT_EQ(LoadIconA(nullptr, IDI_WINLOGO), logo);
  EXPECT_NE(LoadIconA(nullptr, IDI_APPLICATION), logo);
  EXPECT_NE(LoadCursorA(nullptr, IDC_ARROW), nullptr);
  EXPECT_EQ(LoadIconA(nullptr, "named"), nullptr);
}

// The SDL side: SDL's dummy video driver gives a window without a display, and events pushed
// into SDL's queue come out as window messages.
TEST_F(WindowsTest, SdlEventsBecomeWindowMessages) {
  setenv("SDL_VIDEODRIVER", "dummy", 0);
  t::SetHeadless(false);
  ASSERT_NE(Register("abc"), 0);
  HWND window = CreateGameLikeWindow(640, 480);
  if (!window) GTEST_SKIP() << "SDL video could not start: " << SDL_GetError();
  SDL_Window* sdl = vellomir::platform::SdlWindowOf(window);
  ASSERT_NE(sdl, nullptr);
  int w = 0, h = 0;
  SDL_GetWindowSize(sdl, &w, &h);
  EXPECT_EQ(w, 640);
  EXPECT_EQ(h, 480);
  EXPECT_STREQ(SDL_GetWindowTitle(sdl), "Vellomir");
  SDL_PumpEvents();
  SDL_FlushEvents(SDL_FIRSTEVENT, SDL_LASTEVENT);

  const SDL_Keycode keys[] = {SDLK_ESCAPE, SDLK_RETURN, SDLK_LEFT, SDLK_RIGHT, SDLK_F13};
  for (SDL_Keycode key : keys) {
    SDL_Event e{};
    e.type = SDL_KEYDOWN;
    e.key.windowID = SDL_GetWindowID(sdl);
    e.key.keysym.sym = key;
    e.key.keysym.scancode = SDL_GetScancodeFromKey(key);
    SDL_PushEvent(&e);
  }
  SDL_Event up{};
  up.type = SDL_KEYUP;
  up.key.windowID = SDL_GetWindowID(sdl);
  up.key.keysym.sym = SDLK_ESCAPE;
  SDL_PushEvent(&up);
  SDL_Event close{};
  close.type = SDL_WINDOWEVENT;
  close.window.event = SDL_WINDOWEVENT_CLOSE;
  close.window.windowID = SDL_GetWindowID(sdl);
  SDL_PushEvent(&close);

  std::vector<std::pair<UINT, WPARAM>> got;
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    EXPECT_EQ(msg.hwnd, window);
    got.emplace_back(msg.message, msg.wParam);
    if (msg.message == WM_KEYUP) {
      EXPECT_NE(static_cast<uint64_t>(msg.lParam) & (1ull << 31), 0u);  // released
    }
    DispatchMessageA(&msg);
  }
  // F13 has no virtual-key code here and is dropped.
  std::vector<std::pair<UINT, WPARAM>> expected = {
      {WM_KEYDOWN, VK_ESCAPE}, {WM_KEYDOWN, VK_RETURN}, {WM_KEYDOWN, VK_LEFT},
      {WM_KEYDOWN, VK_RIGHT},  {WM_KEYUP, VK_ESCAPE},   {WM_CLOSE, 0}};
  EXPECT_EQ(got, expected);
  ASSERT_FALSE(received.empty());
  EXPECT_EQ(received.back().message, static_cast<UINT>(WM_DESTROY));
}

}  // namespace
