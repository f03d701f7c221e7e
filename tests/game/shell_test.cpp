// The application shell: the fixed-step frame loop, quitting, the start-up failures and the
// device fallback, all headless with a fake clock and scripted messages.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "game/scenes.h"
#include "game/shell.h"
#include "platform/runtime/d3d8/testing.h"
#include "platform/runtime/win32/testing.h"

namespace {

namespace t = vellomir::platform::testing;
using vellomir::FrameStep;
using vellomir::kFrameStepMs;
using vellomir::Shell;

constexpr char kWindowFailedText[] =
    "ウインドウ生成に失敗しました。ありえるのかこのエラー？？？";
constexpr char kDeviceFailedText[] =
    "DirectXの初期化に失敗しました。お前の持ってDirectXが悪い。間違いない！！";

class ShellTest : public ::testing::Test {
 protected:
  void SetUp() override { Reset(); }
  void TearDown() override {
    vellomir::Shutdown();
    Reset();
  }
  static void Reset() {
    t::ResetAll();
    t::ResetDirect3D();
    t::SetHeadless(true);
    t::SetFakeTime(1000);
    vellomir::ResetShell();
    vellomir::InitGameState();
  }
  static int RunWinMain() {
    return WinMain(GetModuleHandleA(nullptr), nullptr, const_cast<LPSTR>(""), SW_SHOWDEFAULT);
  }
};

// --- Frame step ---------------------------------------------------------------------------

TEST_F(ShellTest, FirstStepMovesReferenceFromZeroInWholeSteps) {
  t::SetFakeTime(1000);
  FrameStep();
  EXPECT_EQ(Shell().stepsRun, 1u);
  double ref = Shell().frameReference;
  // 60 whole steps of 16.6666666 ms reach 999.999996 ms, within one step of 1000.
  EXPECT_NEAR(ref, 60 * kFrameStepMs, 1e-6);
  EXPECT_LE(ref, 1000.0);
  EXPECT_GT(ref + kFrameStepMs, 1000.0);
  FrameStep();  // same time: no second step
  EXPECT_EQ(Shell().stepsRun, 1u);
}

TEST_F(ShellTest, AtMostOneStepPer16Point67Milliseconds) {
  t::SetFakeTime(1000);
  FrameStep();
  std::vector<DWORD> stepTimes;
  for (int ms = 0; ms < 1000; ++ms) {
    t::AdvanceFakeTime(1);
    uint64_t before = Shell().stepsRun;
    FrameStep();
    FrameStep();  // asking twice at the same time never runs a second step
    ASSERT_LE(Shell().stepsRun - before, 1u);
    if (Shell().stepsRun != before) stepTimes.push_back(timeGetTime());
  }
  // 1000 ms hold 60 steps of 16.67 ms; the step times keep the 16/17 ms rhythm.
  EXPECT_GE(stepTimes.size(), 59u);
  EXPECT_LE(stepTimes.size(), 60u);
  for (size_t i = 1; i < stepTimes.size(); ++i) {
    DWORD gap = stepTimes[i] - stepTimes[i - 1];
    EXPECT_TRUE(gap == 16 || gap == 17) << "gap " << gap << " at step " << i;
  }
}

TEST_F(ShellTest, LongStallRunsOneStepAndDropsTheRest) {
  t::SetFakeTime(1000);
  FrameStep();
  t::AdvanceFakeTime(10000);  // ten seconds without a step
  FrameStep();
  EXPECT_EQ(Shell().stepsRun, 2u);
  double now = timeGetTime();
  EXPECT_LE(Shell().frameReference, now);
  EXPECT_GT(Shell().frameReference + kFrameStepMs, now);
  FrameStep();
  EXPECT_EQ(Shell().stepsRun, 2u);
}

TEST_F(ShellTest, ClockWrapRestartsTimingFromTheNewReading) {
  // Just before the 32-bit millisecond counter wraps; readings above 2^31 stay positive.
  Shell().frameReference = 4294967000.0;
  t::SetFakeTime(4294967290u);
  FrameStep();
  EXPECT_EQ(Shell().stepsRun, 1u);
  EXPECT_GT(Shell().frameReference, 4294967000.0);

  t::SetFakeTime(5);  // wrapped
  FrameStep();
  EXPECT_EQ(Shell().stepsRun, 1u);
  EXPECT_EQ(Shell().frameReference, 5.0);
  t::SetFakeTime(21);  // 16 ms later: not yet
  FrameStep();
  EXPECT_EQ(Shell().stepsRun, 1u);
  t::SetFakeTime(22);
  FrameStep();
  EXPECT_EQ(Shell().stepsRun, 2u);
  EXPECT_NEAR(Shell().frameReference, 5.0 + kFrameStepMs, 1e-9);
}

// --- WinMain ------------------------------------------------------------------------------

TEST_F(ShellTest, MainWindowHasTheGameGeometry) {
  t::PostWindowMessage(nullptr, WM_KEYDOWN, VK_ESCAPE, 0);
  EXPECT_EQ(RunWinMain(), 0);
  ASSERT_EQ(t::CreatedWindows().size(), 1u);
  const t::CreatedWindow& w = t::CreatedWindows()[0];
  EXPECT_EQ(w.exStyle, 0x00040108u);
  EXPECT_EQ(w.className, "abc");
  EXPECT_EQ(w.title, "Vellomir");
  EXPECT_EQ(w.style, 0x90C80000u);
  EXPECT_EQ(w.x, 120);
  EXPECT_EQ(w.y, 100);
  EXPECT_EQ(w.width, 640 + 2 * GetSystemMetrics(SM_CXDLGFRAME));
  EXPECT_EQ(w.height, 480 + GetSystemMetrics(SM_CYCAPTION) + 2 * GetSystemMetrics(SM_CYDLGFRAME));
  RECT client{};
  ASSERT_TRUE(GetClientRect(w.handle, &client));
  EXPECT_EQ(client.right, 640);
  EXPECT_EQ(client.bottom, 480);
  EXPECT_EQ(Shell().mainWindow, w.handle);
  EXPECT_EQ(Shell().deviceWindow, w.handle);
}

TEST_F(ShellTest, EscapeOrClosingTheWindowQuitsWithExitCodeZero) {
  struct Case {
    const char* name;
    void (*quit)();
  } cases[] = {
      {"escape", [] { t::PostWindowMessage(nullptr, WM_KEYDOWN, VK_ESCAPE, 0); }},
      {"close", [] { t::CloseWindow(nullptr); }},
  };
  for (const Case& c : cases) {
    Reset();
    // Run about 100 ms of frames, then quit.
    int idle = 0;
    t::SetIdleHook([&] {
      t::AdvanceFakeTime(1);
      if (++idle == 100) c.quit();
    });
    EXPECT_EQ(RunWinMain(), 0) << c.name;
    EXPECT_GE(Shell().stepsRun, 5u) << c.name;
    EXPECT_LE(Shell().stepsRun, 7u) << c.name;
    EXPECT_GE(t::PresentCount(), 1u) << c.name;  // the title scene keeps the window drawn
    EXPECT_TRUE(t::CapturedMessageBoxes().empty()) << c.name;
    // Shutdown released the device and the Direct3D object.
    EXPECT_EQ(Shell().device, nullptr) << c.name;
    EXPECT_EQ(Shell().direct3d, nullptr) << c.name;
  }
}

TEST_F(ShellTest, ExitCodeIsTheQuitMessagesWParam) {
  t::SetIdleHook([] { PostQuitMessage(3); });
  EXPECT_EQ(RunWinMain(), 3);
}

TEST_F(ShellTest, WindowFailureShowsUnownedBoxAndReturnsZero) {
  void (*fails[])(bool) = {t::FailRegisterClass, t::FailCreateWindow};
  for (auto fail : fails) {
    Reset();
    fail(true);
    EXPECT_EQ(RunWinMain(), 0);
    ASSERT_EQ(t::CapturedMessageBoxes().size(), 1u);
    const t::CapturedMessageBox& box = t::CapturedMessageBoxes()[0];
    EXPECT_EQ(box.owner, nullptr);
    EXPECT_EQ(box.text, kWindowFailedText);
    EXPECT_EQ(box.caption, "ERROR");
    EXPECT_EQ(box.type, 0x10u);
    EXPECT_TRUE(t::CreateDeviceAttempts().empty());  // no device was tried
  }
}

TEST_F(ShellTest, DeviceFailureShowsBoxOwnedByWindowAndReturnsZero) {
  for (bool failCreate : {true, false}) {
    Reset();
    if (failCreate) {
      t::FailDirect3DCreate(true);
    } else {
      t::FailCreateDevice(D3DDEVTYPE_HAL, D3DCREATE_HARDWARE_VERTEXPROCESSING, true);
      t::FailCreateDevice(D3DDEVTYPE_HAL, D3DCREATE_SOFTWARE_VERTEXPROCESSING, true);
      t::FailCreateDevice(D3DDEVTYPE_REF, D3DCREATE_SOFTWARE_VERTEXPROCESSING, true);
    }
    EXPECT_EQ(RunWinMain(), 0);
    ASSERT_EQ(t::CapturedMessageBoxes().size(), 1u) << failCreate;
    const t::CapturedMessageBox& box = t::CapturedMessageBoxes()[0];
    EXPECT_EQ(box.owner, Shell().mainWindow);
    EXPECT_NE(box.owner, nullptr);
    EXPECT_EQ(box.text, kDeviceFailedText);
    EXPECT_EQ(box.caption, "ERROR");
    EXPECT_EQ(box.type, 0x10u);
    // Device set-up released its Direct3D object before failing.
    EXPECT_EQ(Shell().direct3d, nullptr);
    EXPECT_EQ(Shell().device, nullptr);
    EXPECT_EQ(Shell().stepsRun, 0u);
  }
}

TEST_F(ShellTest, DeviceFallbackTriesHalHardwareThenHalSoftwareThenRef) {
  const t::CreateDeviceAttempt all[] = {
      {D3DDEVTYPE_HAL, D3DCREATE_HARDWARE_VERTEXPROCESSING, 0},
      {D3DDEVTYPE_HAL, D3DCREATE_SOFTWARE_VERTEXPROCESSING, 0},
      {D3DDEVTYPE_REF, D3DCREATE_SOFTWARE_VERTEXPROCESSING, 0},
  };
  // With the first n choices failing, choice n wins after n + 1 attempts.
  for (int failing = 0; failing < 3; ++failing) {
    Reset();
    for (int i = 0; i < failing; ++i) t::FailCreateDevice(all[i].type, all[i].behaviorFlags, true);
    ASSERT_EQ(vellomir::InitDevice(640, 480, nullptr), 1) << failing;
    const auto& attempts = t::CreateDeviceAttempts();
    ASSERT_EQ(attempts.size(), static_cast<size_t>(failing + 1));
    for (int i = 0; i <= failing; ++i) {
      EXPECT_EQ(attempts[i].type, all[i].type);
      EXPECT_EQ(attempts[i].behaviorFlags, all[i].behaviorFlags);
      EXPECT_EQ(FAILED(attempts[i].result), i < failing);
    }
    EXPECT_NE(Shell().device, nullptr);
    vellomir::Shutdown();
  }
}

TEST_F(ShellTest, PresentParametersAreKeptForReset) {
  D3DDISPLAYMODE mode{800, 600, 60, D3DFMT_R5G6B5};
  t::SetAdapterDisplayMode(mode);
  ASSERT_EQ(vellomir::InitDevice(640, 480, nullptr), 1);
  const D3DPRESENT_PARAMETERS& pp = Shell().presentParameters;
  EXPECT_EQ(pp.BackBufferWidth, 640u);
  EXPECT_EQ(pp.BackBufferHeight, 480u);
  EXPECT_EQ(pp.BackBufferFormat, D3DFMT_R5G6B5);
  EXPECT_LE(pp.BackBufferCount, 1u);  // asked for 0; the device may write back the 1 it means
  EXPECT_EQ(pp.MultiSampleType, D3DMULTISAMPLE_NONE);
  EXPECT_EQ(pp.SwapEffect, D3DSWAPEFFECT_FLIP);
  EXPECT_EQ(pp.hDeviceWindow, nullptr);
  EXPECT_EQ(pp.Windowed, TRUE);
  EXPECT_EQ(pp.EnableAutoDepthStencil, TRUE);
  EXPECT_EQ(pp.AutoDepthStencilFormat, D3DFMT_D16);
  EXPECT_EQ(pp.Flags, 0u);
  EXPECT_EQ(pp.FullScreen_RefreshRateInHz, 0u);
  EXPECT_EQ(pp.FullScreen_PresentationInterval, 0u);
}

TEST_F(ShellTest, MainWindowProcQuitsOnEscapeAndDestroyOnly) {
  struct Case {
    UINT message;
    WPARAM wParam;
    bool quits;
  } cases[] = {
      {WM_KEYDOWN, VK_ESCAPE, true},  {WM_DESTROY, 0, true},       {WM_KEYDOWN, VK_RETURN, false},
      {WM_KEYUP, VK_ESCAPE, false},   {WM_CHAR, VK_ESCAPE, false},
  };
  for (const Case& c : cases) {
    t::ResetAll();
    t::SetHeadless(true);
    t::SetIdleHook([] {});
    vellomir::MainWindowProc(nullptr, c.message, c.wParam, 0);
    MSG msg;
    bool quit = PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE) && msg.message == WM_QUIT;
    EXPECT_EQ(quit, c.quits) << c.message << " " << c.wParam;
    if (quit) {
      EXPECT_EQ(msg.wParam, 0u);
    }
  }
}

}  // namespace
