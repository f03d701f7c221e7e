// Message boxes: an SDL message box, or a captured record for tests and headless runs.
#include <SDL.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "platform/runtime/win32/internal.h"
#include "platform/runtime/win32/testing.h"
#include "platform/runtime/win32/window.h"

namespace vellomir::platform::detail {
namespace {

struct BoxState {
  bool capture = false;
  std::vector<vellomir::platform::testing::CapturedMessageBox> boxes;
};

BoxState& State() {
  static BoxState state;
  return state;
}

}  // namespace

void ResetMessageBoxes() { State() = BoxState{}; }

}  // namespace vellomir::platform::detail

using namespace vellomir::platform::detail;

namespace vellomir::platform::testing {
void CaptureMessageBoxes(bool capture) { State().capture = capture; }
const std::vector<CapturedMessageBox>& CapturedMessageBoxes() { return State().boxes; }
}  // namespace vellomir::platform::testing

int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
  const char* shownText = text ? text : "";
  // A null caption is shown as "Error", as the platform does.
  const char* shownCaption = caption ? caption : "Error";
  BoxState& s = State();
  if (s.capture || Headless()) {
    s.boxes.push_back({owner, shownText, shownCaption, type});
    // Headless because no display could be opened: nobody sees a box, but the text must
    // still reach the user. Only captures a test asked for stay silent.
    if (!s.capture && !HeadlessForced())
      std::fprintf(stderr, "%s: %s\n", shownCaption, shownText);
    return IDOK;
  }
  // Unattended smoke runs must never wait on a modal box.
  bool unattended = std::getenv("VELLOMIR_SMOKE_QUIT_AFTER_MS") != nullptr;
  Uint32 flags = SDL_MESSAGEBOX_INFORMATION;
  UINT icon = type & 0xF0;
  if (icon == MB_ICONERROR) flags = SDL_MESSAGEBOX_ERROR;
  else if (icon == MB_ICONWARNING) flags = SDL_MESSAGEBOX_WARNING;
  if (unattended ||
      SDL_ShowSimpleMessageBox(flags, shownCaption, shownText,
                               vellomir::platform::SdlWindowOf(owner)) != 0) {
    // No box could be shown: the text must still reach the user.
    std::fprintf(stderr, "%s: %s\n", shownCaption, shownText);
  }
  return IDOK;
}
