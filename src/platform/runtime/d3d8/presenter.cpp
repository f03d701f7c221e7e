// Presenters: the SDL window behind the device window, and the PNG dump of the last frame that
// the headless record keeps.
#include <png.h>

#include <cstdio>

#include "platform/runtime/d3d8/runtime.h"
#include "platform/runtime/win32/window.h"

namespace vellomir::d3d8 {

namespace {

// Streams each presented frame into a streaming texture the size of the back buffer and lets
// SDL scale it to the window.
class SdlPresenter final : public Presenter {
 public:
  explicit SdlPresenter(SDL_Window* window) : window_(window) {}
  ~SdlPresenter() override {
    if (texture_) SDL_DestroyTexture(texture_);
    if (renderer_) SDL_DestroyRenderer(renderer_);
  }
  void Show(const uint32_t* pixels, UINT width, UINT height) override {
    if (!renderer_) {
      renderer_ = SDL_GetRenderer(window_);
      ownsRenderer_ = renderer_ == nullptr;
      if (!renderer_) renderer_ = SDL_CreateRenderer(window_, -1, 0);
      if (!renderer_) return;
      if (!ownsRenderer_) renderer_ = nullptr;  // not ours to destroy; looked up again below
    }
    SDL_Renderer* renderer = renderer_ ? renderer_ : SDL_GetRenderer(window_);
    if (!renderer) return;
    if (!texture_ || width != width_ || height != height_) {
      if (texture_) SDL_DestroyTexture(texture_);
      texture_ = SDL_CreateTexture(renderer, SDL_PIXELFORMAT_ARGB8888,
                                   SDL_TEXTUREACCESS_STREAMING, static_cast<int>(width),
                                   static_cast<int>(height));
      width_ = width;
      height_ = height;
      if (!texture_) return;
    }
    SDL_UpdateTexture(texture_, nullptr, pixels, static_cast<int>(width * 4));
    SDL_RenderClear(renderer);
    SDL_RenderCopy(renderer, texture_, nullptr, nullptr);
    SDL_RenderPresent(renderer);
  }

 private:
  SDL_Window* window_;
  SDL_Renderer* renderer_ = nullptr;
  bool ownsRenderer_ = false;
  SDL_Texture* texture_ = nullptr;
  UINT width_ = 0, height_ = 0;
};

}  // namespace

std::unique_ptr<Presenter> CreateWindowPresenter(HWND window) {
  if (!window) return nullptr;
  SDL_Window* sdl = platform::SdlWindowOf(window);
  if (!sdl) return nullptr;
  return std::make_unique<SdlPresenter>(sdl);
}

}  // namespace vellomir::d3d8

namespace vellomir::platform::testing {

bool WriteLastFrameToPng(const std::string& path) {
  const PresentedFrame& frame = LastPresentedFrame();
  if (frame.width == 0 || frame.height == 0) return false;
  FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) return false;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  std::vector<uint8_t> row(static_cast<size_t>(frame.width) * 4);
  bool ok = false;
  if (png && info && setjmp(png_jmpbuf(png)) == 0) {
    png_init_io(png, file);
    png_set_IHDR(png, info, frame.width, frame.height, 8, PNG_COLOR_TYPE_RGB_ALPHA,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (uint32_t y = 0; y < frame.height; ++y) {
      for (uint32_t x = 0; x < frame.width; ++x) {
        const uint32_t c = frame.At(x, y);
        row[x * 4 + 0] = static_cast<uint8_t>(c >> 16);
        row[x * 4 + 1] = static_cast<uint8_t>(c >> 8);
        row[x * 4 + 2] = static_cast<uint8_t>(c);
        row[x * 4 + 3] = static_cast<uint8_t>(c >> 24);
      }
      png_write_row(png, row.data());
    }
    png_write_end(png, nullptr);
    ok = true;
  }
  png_destroy_write_struct(png ? &png : nullptr, info ? &info : nullptr);
  std::fclose(file);
  return ok;
}

}  // namespace vellomir::platform::testing
