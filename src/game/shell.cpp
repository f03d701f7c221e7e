// The application shell: WinMain creates the window and the device, sets up the game and its
// scene, then runs the message loop; whenever no message waits, FrameStep advances the game by
// at most one fixed step.
#include "game/shell.h"

#include <cmath>

#include "game/scene_resources.h"
#include "game/scenes.h"

namespace vellomir {
namespace {

constexpr char kClassName[] = "abc";
constexpr char kWindowTitle[] = "Vellomir";
constexpr DWORD kWindowExStyle = WS_EX_APPWINDOW | WS_EX_WINDOWEDGE | WS_EX_TOPMOST;
constexpr DWORD kWindowStyle = WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU;
constexpr int kWindowX = 120;
constexpr int kWindowY = 100;
// Size of the 32-bit WNDCLASSEXA record the class registration describes itself with.
constexpr UINT kWndClassExSize = 48;

constexpr char kErrorCaption[] = "ERROR";
constexpr char kWindowFailedText[] =
    "ウインドウ生成に失敗しました。ありえるのかこのエラー？？？";
constexpr char kDeviceFailedText[] =
    "DirectXの初期化に失敗しました。お前の持ってDirectXが悪い。間違いない！！";

// The device types and vertex processing tried in turn; the first that works is kept.
struct DeviceChoice {
  D3DDEVTYPE type;
  DWORD behaviorFlags;
};
constexpr DeviceChoice kDeviceChoices[] = {
    {D3DDEVTYPE_HAL, D3DCREATE_HARDWARE_VERTEXPROCESSING},
    {D3DDEVTYPE_HAL, D3DCREATE_SOFTWARE_VERTEXPROCESSING},
    {D3DDEVTYPE_REF, D3DCREATE_SOFTWARE_VERTEXPROCESSING},
};

}  // namespace

GameShell& Shell() {
  static GameShell shell;
  return shell;
}

void ResetShell() { Shell() = GameShell{}; }

int CreateMainWindow(int width, int height) {
  GameShell& shell = Shell();
  WNDCLASSEXA wc{};
  wc.cbSize = kWndClassExSize;
  wc.style = CS_CLASSDC;
  wc.lpfnWndProc = MainWindowProc;
  wc.cbClsExtra = 0;
  wc.cbWndExtra = 0;
  wc.hInstance = shell.instance;
  wc.hIcon = LoadIconA(nullptr, IDI_WINLOGO);
  wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  wc.hbrBackground = nullptr;
  wc.lpszMenuName = nullptr;
  wc.lpszClassName = kClassName;
  wc.hIconSm = LoadIconA(nullptr, IDI_WINLOGO);
  if (!RegisterClassExA(&wc)) return 0;

  // The outer size that leaves exactly width x height for the client area.
  int outerWidth = width + 2 * GetSystemMetrics(SM_CXDLGFRAME);
  int outerHeight = height + GetSystemMetrics(SM_CYCAPTION) + 2 * GetSystemMetrics(SM_CYDLGFRAME);
  HWND window = CreateWindowExA(kWindowExStyle, kClassName, kWindowTitle, kWindowStyle, kWindowX,
                                kWindowY, outerWidth, outerHeight, nullptr, nullptr,
                                shell.instance, nullptr);
  if (!window) return 0;
  shell.mainWindow = window;
  ShowWindow(window, SW_SHOW);
  UpdateWindow(window);
  return 1;
}

LRESULT MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_DESTROY || (message == WM_KEYDOWN && wParam == VK_ESCAPE))
    PostQuitMessage(0);
  return DefWindowProcA(window, message, wParam, lParam);
}

int InitDevice(int width, int height, HWND window) {
  GameShell& shell = Shell();
  shell.deviceWindow = window;
  shell.direct3d = Direct3DCreate8(D3D_SDK_VERSION);
  if (!shell.direct3d) return 0;

  D3DDISPLAYMODE mode{};
  shell.direct3d->GetAdapterDisplayMode(0, &mode);
  D3DPRESENT_PARAMETERS& pp = shell.presentParameters;
  pp = D3DPRESENT_PARAMETERS{};
  pp.BackBufferWidth = static_cast<UINT>(width);
  pp.BackBufferHeight = static_cast<UINT>(height);
  pp.BackBufferFormat = mode.Format;
  pp.BackBufferCount = 0;
  pp.MultiSampleType = D3DMULTISAMPLE_NONE;
  pp.SwapEffect = D3DSWAPEFFECT_FLIP;
  pp.hDeviceWindow = nullptr;
  pp.Windowed = TRUE;
  pp.EnableAutoDepthStencil = TRUE;
  pp.AutoDepthStencilFormat = D3DFMT_D16;
  pp.Flags = 0;
  pp.FullScreen_RefreshRateInHz = 0;
  pp.FullScreen_PresentationInterval = 0;

  for (const DeviceChoice& choice : kDeviceChoices) {
    HRESULT hr = shell.direct3d->CreateDevice(0, choice.type, window, choice.behaviorFlags, &pp,
                                              &shell.device);
    if (SUCCEEDED(hr)) return 1;
    shell.device = nullptr;
  }
  shell.direct3d->Release();
  shell.direct3d = nullptr;
  return 0;
}

void FrameStep() {
  GameShell& shell = Shell();
  // timeGetTime is unsigned: readings above 2^31 - 1 stay positive.
  double now = static_cast<double>(timeGetTime());
  // The clock wrapped around: start timing again from now.
  if (now < shell.frameReference) shell.frameReference = static_cast<double>(timeGetTime());
  double elapsed = std::fabs(static_cast<double>(timeGetTime()) - shell.frameReference);
  if (elapsed < kFrameStepMs) return;
  // Move on by whole steps; the steps missed during a stall are dropped, not run.
  do {
    elapsed -= kFrameStepMs;
    shell.frameReference += kFrameStepMs;
  } while (elapsed >= kFrameStepMs);

  ++shell.stepsRun;
  switch (World().scene) {
    case SceneTitle:
      TitleStep();
      break;
    case ScenePlaying:
      PlayStep();
      break;
    case SceneGameOver:
      GameOverStep();
      break;
    default:
      break;
  }
}

void Shutdown() {
  GameShell& shell = Shell();
  if (shell.device) {
    shell.device->Release();
    shell.device = nullptr;
  }
  if (shell.direct3d) {
    shell.direct3d->Release();
    shell.direct3d = nullptr;
  }
  ReleaseScene();
}

}  // namespace vellomir

int WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  using namespace vellomir;
  Shell().instance = instance;
  if (!CreateMainWindow(kWindowWidth, kWindowHeight)) {
    MessageBoxA(nullptr, kWindowFailedText, kErrorCaption, MB_ICONERROR);
    return 0;
  }
  if (!InitDevice(kWindowWidth, kWindowHeight, Shell().mainWindow)) {
    MessageBoxA(Shell().mainWindow, kDeviceFailedText, kErrorCaption, MB_ICONERROR);
    return 0;
  }
  InitGameState();
  SetupScene();

  MSG msg{};
  for (;;) {
    if (PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE)) {
      if (!GetMessageA(&msg, nullptr, 0, 0)) break;
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    } else {
      FrameStep();
    }
  }
  Shutdown();
  return static_cast<int>(msg.wParam);
}
