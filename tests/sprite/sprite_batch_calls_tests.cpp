// The batch against a device that only writes down what it is asked: which states go into each
// recorded block and in what order, the half-pixel world matrix, the exact vertices, and the
// order of block deletion. The software device cannot show these through pixels alone.
#include <cstring>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "sprite/sprite_batch.h"

using namespace vellomir;

namespace {

std::string Call(const char* op, DWORD a = 0, DWORD b = 0, DWORD c = 0) {
  return std::string(op) + " " + std::to_string(a) + " " + std::to_string(b) + " " +
         std::to_string(c);
}
std::string RS(D3DRENDERSTATETYPE s, DWORD v) { return Call("RS", s, v); }
std::string TSS(DWORD stage, D3DTEXTURESTAGESTATETYPE t, DWORD v) { return Call("TSS", stage, t, v); }
std::string XF(D3DTRANSFORMSTATETYPE t) { return Call("XF", t); }

class FakeTexture final : public IDirect3DTexture8 {
 public:
  FakeTexture(UINT w, UINT h, D3DFORMAT f) { desc.Width = w, desc.Height = h, desc.Format = f; }
  HRESULT QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
  ULONG AddRef() override { return 1; }
  ULONG Release() override { return 1; }
  HRESULT GetDevice(IDirect3DDevice8**) override { return E_FAIL; }
  D3DRESOURCETYPE GetType() override { return D3DRTYPE_TEXTURE; }
  DWORD GetLevelCount() override { return 1; }
  HRESULT GetLevelDesc(UINT level, D3DSURFACE_DESC* out) override {
    if (level != 0) return D3DERR_INVALIDCALL;
    *out = desc;
    return S_OK;
  }
  HRESULT GetSurfaceLevel(UINT, IDirect3DSurface8**) override { return E_FAIL; }
  HRESULT LockRect(UINT, D3DLOCKED_RECT*, const RECT*, DWORD) override { return E_FAIL; }
  HRESULT UnlockRect(UINT) override { return E_FAIL; }
  D3DSURFACE_DESC desc{};
};

// Everything the batch may call is logged; everything else fails loudly.
class RecordingDevice final : public IDirect3DDevice8 {
 public:
  HRESULT QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
  ULONG AddRef() override { return ++refs; }
  ULONG Release() override {
    log.push_back("Release");
    return --refs;
  }
  HRESULT TestCooperativeLevel() override { return Unexpected(); }
  HRESULT GetDirect3D(IDirect3D8**) override { return Unexpected(); }
  HRESULT GetDeviceCaps(D3DCAPS8* out) override {
    *out = caps;
    return S_OK;
  }
  HRESULT GetDisplayMode(D3DDISPLAYMODE*) override { return Unexpected(); }
  HRESULT GetCreationParameters(D3DDEVICE_CREATION_PARAMETERS* out) override {
    *out = creation;
    return S_OK;
  }
  HRESULT Reset(D3DPRESENT_PARAMETERS*) override { return Unexpected(); }
  HRESULT Present(const RECT*, const RECT*, HWND, const void*) override { return Unexpected(); }
  HRESULT CreateTexture(UINT, UINT, UINT, DWORD, D3DFORMAT, D3DPOOL, IDirect3DTexture8**) override {
    return Unexpected();
  }
  HRESULT CreateVolumeTexture(UINT, UINT, UINT, UINT, DWORD, D3DFORMAT, D3DPOOL,
                              IDirect3DVolumeTexture8**) override {
    return Unexpected();
  }
  HRESULT CreateCubeTexture(UINT, UINT, DWORD, D3DFORMAT, D3DPOOL,
                            IDirect3DCubeTexture8**) override {
    return Unexpected();
  }
  HRESULT CreateImageSurface(UINT, UINT, D3DFORMAT, IDirect3DSurface8**) override {
    return Unexpected();
  }
  HRESULT CopyRects(IDirect3DSurface8*, const RECT*, UINT, IDirect3DSurface8*,
                    const POINT*) override {
    return Unexpected();
  }
  HRESULT UpdateTexture(IDirect3DBaseTexture8*, IDirect3DBaseTexture8*) override {
    return Unexpected();
  }
  HRESULT BeginScene() override { return Unexpected(); }
  HRESULT EndScene() override { return Unexpected(); }
  HRESULT Clear(DWORD, const D3DRECT*, DWORD, D3DCOLOR, float, DWORD) override {
    return Unexpected();
  }
  HRESULT SetTransform(D3DTRANSFORMSTATETYPE t, const D3DMATRIX* m) override {
    log.push_back(XF(t));
    matrices.push_back(*m);
    return S_OK;
  }
  HRESULT GetTransform(D3DTRANSFORMSTATETYPE, D3DMATRIX*) override { return Unexpected(); }
  HRESULT SetViewport(const D3DVIEWPORT8*) override { return Unexpected(); }
  HRESULT GetViewport(D3DVIEWPORT8* out) override {
    log.push_back("GetViewport");
    *out = viewport;
    return S_OK;
  }
  HRESULT SetLight(DWORD, const D3DLIGHT8*) override { return Unexpected(); }
  HRESULT GetLight(DWORD, D3DLIGHT8*) override { return Unexpected(); }
  HRESULT LightEnable(DWORD, BOOL) override { return Unexpected(); }
  HRESULT GetLightEnable(DWORD, BOOL*) override { return Unexpected(); }
  HRESULT SetRenderState(D3DRENDERSTATETYPE s, DWORD v) override {
    log.push_back(RS(s, v));
    return S_OK;
  }
  HRESULT GetRenderState(D3DRENDERSTATETYPE, DWORD*) override { return Unexpected(); }
  HRESULT BeginStateBlock() override {
    log.push_back("BeginStateBlock");
    return S_OK;
  }
  HRESULT EndStateBlock(DWORD* token) override {
    if (failNextEnd) {
      failNextEnd = false;
      log.push_back("EndStateBlock-fail");
      return E_OUTOFMEMORY;
    }
    *token = nextToken++;
    live.insert(*token);
    log.push_back(Call("EndStateBlock", *token));
    return S_OK;
  }
  HRESULT ApplyStateBlock(DWORD token) override {
    log.push_back(Call("Apply", token));
    return S_OK;
  }
  HRESULT CaptureStateBlock(DWORD token) override {
    log.push_back(Call("Capture", token));
    return S_OK;
  }
  HRESULT DeleteStateBlock(DWORD token) override {
    log.push_back(Call("Delete", token));
    return live.erase(token) ? S_OK : D3DERR_INVALIDCALL;
  }
  HRESULT GetTexture(DWORD, IDirect3DBaseTexture8**) override { return Unexpected(); }
  HRESULT SetTexture(DWORD stage, IDirect3DBaseTexture8* t) override {
    log.push_back(Call(t ? "SetTexture" : "SetTexture-none", stage));
    return S_OK;
  }
  HRESULT GetTextureStageState(DWORD, D3DTEXTURESTAGESTATETYPE, DWORD*) override {
    return Unexpected();
  }
  HRESULT SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE t, DWORD v) override {
    log.push_back(TSS(stage, t, v));
    return S_OK;
  }
  HRESULT DrawPrimitiveUP(D3DPRIMITIVETYPE type, UINT count, const void* v, UINT stride) override {
    log.push_back(Call("Draw", type, count, stride));
    vertices.assign(static_cast<const float*>(v),
                    static_cast<const float*>(v) + 4 * stride / sizeof(float));
    return S_OK;
  }
  HRESULT SetVertexShader(DWORD handle) override {
    log.push_back(Call("VS", handle));
    return S_OK;
  }
  HRESULT GetVertexShader(DWORD*) override { return Unexpected(); }
  HRESULT SetStreamSource(UINT stream, IDirect3DVertexBuffer8* b, UINT stride) override {
    log.push_back(Call(b ? "Stream" : "Stream-none", stream, stride));
    return S_OK;
  }
  HRESULT GetStreamSource(UINT, IDirect3DVertexBuffer8**, UINT*) override { return Unexpected(); }

  HRESULT Unexpected() {
    ADD_FAILURE() << "the batch called a device operation it has no use for";
    return E_FAIL;
  }

  ULONG refs = 1;
  DWORD nextToken = 11;
  D3DCAPS8 caps{};
  D3DDEVICE_CREATION_PARAMETERS creation{};
  bool failNextEnd = false;
  std::set<DWORD> live;  // blocks recorded and not yet deleted
  D3DVIEWPORT8 viewport{7, 9, 640, 480, 0.0f, 1.0f};
  std::vector<std::string> log;
  std::vector<D3DMATRIX> matrices;
  std::vector<float> vertices;  // the last draw's four vertices, colour bits included
};

struct DeviceKind {
  const char* name;
  DWORD miscCaps, srcBlend, destBlend, behavior;
  bool pretransformed, canBlend;
};
const DeviceKind kKinds[] = {
    {"TransformedBlending", 0, D3DPBLENDCAPS_SRCALPHA, D3DPBLENDCAPS_INVSRCALPHA, 0, false, true},
    {"ClipTLVertsAlphaTest", D3DPMISCCAPS_CLIPTLVERTS, D3DPBLENDCAPS_SRCALPHA, 0, 0, true, false},
    {"PureDeviceNoSrcAlpha", 0, 0, D3DPBLENDCAPS_INVSRCALPHA, D3DCREATE_PUREDEVICE, true, false},
};

void PrintTo(const DeviceKind& k, std::ostream* os) { *os << k.name; }

class SpriteCallsTest : public ::testing::TestWithParam<DeviceKind> {
 protected:
  void SetUp() override {
    const DeviceKind& k = GetParam();
    device.caps.PrimitiveMiscCaps = k.miscCaps;
    device.caps.SrcBlendCaps = k.srcBlend;
    device.caps.DestBlendCaps = k.destBlend;
    device.creation.BehaviorFlags = k.behavior;
    ASSERT_EQ(CreateSpriteBatch(&device, &batch), S_OK);
    device.log.clear();
  }
  void TearDown() override {
    if (batch) batch->Release();
  }
  // One recording pass, written out from the list of sprite states.
  std::vector<std::string> Pass(int pass) const {
    const bool tl = GetParam().pretransformed;
    std::vector<std::string> p{"BeginStateBlock", Call("VS", tl ? 0x144u : 0x142u)};
    if (!tl) {
      p.push_back(XF(D3DTS_VIEW));
      p.push_back(XF(D3DTS_PROJECTION));
      if (pass == 0) p.push_back(XF(D3DTS_WORLD));
    }
    for (auto s : {RS(D3DRS_ZENABLE, 0), RS(D3DRS_FILLMODE, 3), RS(D3DRS_CULLMODE, 1),
                   RS(D3DRS_WRAP0, 0), RS(D3DRS_CLIPPING, 1), RS(D3DRS_VERTEXBLEND, 0),
                   RS(D3DRS_CLIPPLANEENABLE, 0), RS(D3DRS_PATCHSEGMENTS, 1),
                   RS(D3DRS_INDEXEDVERTEXBLENDENABLE, 0)})
      p.push_back(s);
    if (!tl)
      for (auto s : {RS(D3DRS_FOGENABLE, 0), RS(D3DRS_SPECULARENABLE, 0),
                     RS(D3DRS_STENCILENABLE, 0), RS(D3DRS_LIGHTING, 0),
                     RS(D3DRS_DIFFUSEMATERIALSOURCE, 1)})
        p.push_back(s);
    for (auto s : {TSS(0, D3DTSS_COLOROP, 4), TSS(0, D3DTSS_COLORARG1, 2),
                   TSS(0, D3DTSS_COLORARG2, 0), TSS(0, D3DTSS_ALPHAOP, 4),
                   TSS(0, D3DTSS_ALPHAARG1, 2), TSS(0, D3DTSS_ALPHAARG2, 0),
                   TSS(1, D3DTSS_COLOROP, 1), TSS(1, D3DTSS_ALPHAOP, 1),
                   TSS(0, D3DTSS_MAGFILTER, 2), TSS(0, D3DTSS_MINFILTER, 2),
                   TSS(0, D3DTSS_MIPFILTER, 0), TSS(0, D3DTSS_TEXCOORDINDEX, 0),
                   TSS(0, D3DTSS_ADDRESSU, 3), TSS(0, D3DTSS_ADDRESSV, 3),
                   TSS(0, D3DTSS_TEXTURETRANSFORMFLAGS, 0)})
      p.push_back(s);
    if (GetParam().canBlend)
      for (auto s : {RS(D3DRS_ALPHABLENDENABLE, 1), RS(D3DRS_SRCBLEND, 5),
                     RS(D3DRS_DESTBLEND, 6), RS(D3DRS_BLENDOP, 1)})
        p.push_back(s);
    else
      for (auto s : {RS(D3DRS_ALPHATESTENABLE, 1), RS(D3DRS_ALPHAFUNC, 7),
                     RS(D3DRS_ALPHAREF, 127)})
        p.push_back(s);
    if (pass == 0) {
      p.push_back(Call("SetTexture-none", 0));
      p.push_back(Call("Stream-none", 0, 0));
    }
    return p;
  }
  // Begin after the blocks exist: capture the caller, apply the sprite state, map pixels.
  std::vector<std::string> Open(DWORD saved, DWORD sprite) const {
    std::vector<std::string> p{Call("Capture", saved), Call("Apply", sprite)};
    if (!GetParam().pretransformed) {
      p.push_back("GetViewport");
      p.push_back(XF(D3DTS_WORLD));
    }
    return p;
  }
  static void Append(std::vector<std::string>& to, const std::vector<std::string>& more) {
    to.insert(to.end(), more.begin(), more.end());
  }

  RecordingDevice device;
  SpriteBatch* batch = nullptr;
};

TEST_P(SpriteCallsTest, BeginRecordsBothBlocksOnceAndMapsPixelsWithHalfPixelShift) {
  ASSERT_EQ(batch->Begin(), S_OK);
  std::vector<std::string> want = Pass(0);
  want.push_back(Call("EndStateBlock", 11));
  Append(want, Pass(1));
  want.push_back(Call("EndStateBlock", 12));
  Append(want, Open(11, 12));
  EXPECT_EQ(device.log, want);
  if (!GetParam().pretransformed) {
    const D3DMATRIX& w = device.matrices.back();
    const float a = 1.0f / 640.0f, b = 1.0f / 480.0f;
    D3DMATRIX expect{};
    expect._11 = a + a;
    expect._22 = b * -2.0f;
    expect._41 = -a - 1.0f;
    expect._42 = b + 1.0f;
    expect._44 = 1.0f;
    EXPECT_EQ(std::memcmp(&w, &expect, sizeof w), 0);
    // Pixel (0, 0) lands half a pixel left of and above the top-left clip corner.
    EXPECT_FLOAT_EQ(w._41, -1.0f - 1.0f / 640.0f);
    EXPECT_FLOAT_EQ(w._42, 1.0f + 1.0f / 480.0f);
  }
  ASSERT_EQ(batch->End(), S_OK);

  // A second frame reuses the blocks; a lost device forgets them (sprite block first) and the
  // next Begin records fresh ones.
  device.log.clear();
  ASSERT_EQ(batch->Begin(), S_OK);
  ASSERT_EQ(batch->End(), S_OK);
  want = Open(11, 12);
  want.push_back(Call("Apply", 11));
  EXPECT_EQ(device.log, want);

  device.log.clear();
  EXPECT_EQ(batch->DeviceLost(), S_OK);
  EXPECT_EQ(batch->DeviceLost(), S_OK);
  EXPECT_EQ(batch->DeviceReset(), S_OK);
  EXPECT_EQ(device.log, (std::vector<std::string>{Call("Delete", 12), Call("Delete", 11)}));
  device.log.clear();
  ASSERT_EQ(batch->Begin(), S_OK);
  ASSERT_EQ(device.log.size(), want.size() - 1 + Pass(0).size() + Pass(1).size() + 2);
  EXPECT_EQ(device.log[Pass(0).size()], Call("EndStateBlock", 13));

  // Destruction deletes the sprite block, then the saved one, then lets go of the device.
  device.log.clear();
  EXPECT_EQ(device.refs, 2u);
  EXPECT_EQ(batch->Release(), 0u);
  batch = nullptr;
  EXPECT_EQ(device.log,
            (std::vector<std::string>{Call("Delete", 14), Call("Delete", 13), "Release"}));
  EXPECT_EQ(device.refs, 1u);
  EXPECT_TRUE(device.live.empty());
}

TEST_P(SpriteCallsTest, FailedRecordingLeavesNoOrphanBlock) {
  // The caller's block fails to record, the sprite block succeeds: the next Begin records both
  // again and must not strand the first sprite block on the device.
  device.failNextEnd = true;
  EXPECT_EQ(batch->Begin(), S_OK);
  EXPECT_EQ(batch->End(), S_OK);
  EXPECT_EQ(device.live, (std::set<DWORD>{11}));
  EXPECT_EQ(batch->Begin(), S_OK);
  EXPECT_EQ(batch->End(), S_OK);
  EXPECT_EQ(device.live, (std::set<DWORD>{12, 13}));
  EXPECT_EQ(batch->Release(), 0u);
  batch = nullptr;
  EXPECT_TRUE(device.live.empty());
}

TEST_P(SpriteCallsTest, DrawBuildsTheQuadAndBracketsItself) {
  FakeTexture tex(8, 16, D3DFMT_X8R8G8B8);
  const RECT src{2, 3, 6, 8};
  const Vec2 at{10.0f, 20.0f};
  ASSERT_EQ(batch->Begin(), S_OK);
  ASSERT_EQ(batch->End(), S_OK);
  device.log.clear();
  ASSERT_EQ(batch->Draw(&tex, &src, nullptr, nullptr, 0.0f, &at, 0xFF102030u), S_OK);

  const bool tl = GetParam().pretransformed;
  std::vector<std::string> want = Open(11, 12);
  want.push_back(Call("SetTexture", 0));
  want.push_back(RS(GetParam().canBlend ? D3DRS_ALPHABLENDENABLE : D3DRS_ALPHATESTENABLE, 0));
  want.push_back(Call("Draw", D3DPT_TRIANGLEFAN, 2, tl ? 28 : 24));
  want.push_back(Call("Apply", 11));
  EXPECT_EQ(device.log, want);

  // Fan order (0,0) (0,h) (w,h) (w,0); u in eighths, v in sixteenths of the source texels.
  const float xy[4][2] = {{0, 0}, {0, 5}, {4, 5}, {4, 0}};
  const float uv[4][2] = {{2, 3}, {2, 8}, {6, 8}, {6, 3}};
  const size_t stride = tl ? 7 : 6;
  ASSERT_EQ(device.vertices.size(), 4 * stride);
  for (int i = 0; i < 4; ++i) {
    const float* v = &device.vertices[i * stride];
    const float shift = tl ? 0.5f : 0.0f;
    EXPECT_EQ(v[0], 10.0f + xy[i][0] - shift) << i;
    EXPECT_EQ(v[1], 20.0f + xy[i][1] - shift) << i;
    EXPECT_EQ(v[2], 0.0f) << i;
    if (tl) {
      EXPECT_EQ(v[3], 1.0f) << i;
    }
    DWORD color;
    std::memcpy(&color, &v[stride - 3], 4);
    EXPECT_EQ(color, 0xFF102030u) << i;
    EXPECT_EQ(v[stride - 2], uv[i][0] * (1.0f / 8.0f)) << i;
    EXPECT_EQ(v[stride - 1], uv[i][1] * (1.0f / 16.0f)) << i;
  }
}

TEST_P(SpriteCallsTest, AlphaIsNeededForTranslucentColoursAndAlphaFormats) {
  const D3DRENDERSTATETYPE gate = GetParam().canBlend ? D3DRS_ALPHABLENDENABLE
                                                      : D3DRS_ALPHATESTENABLE;
  struct Case {
    D3DFORMAT format;
    D3DCOLOR color;
    DWORD want;
  };
  const Case cases[] = {
      {D3DFMT_X8R8G8B8, 0xFFFFFFFFu, 0}, {D3DFMT_R5G6B5, 0xFFFFFFFFu, 0},
      {D3DFMT_DXT1, 0xFFFFFFFFu, 0},     {D3DFMT_A2B10G10R10, 0xFFFFFFFFu, 0},
      {D3DFMT_X8R8G8B8, 0xFEFFFFFFu, 1}, {D3DFMT_R5G6B5, 0x00FFFFFFu, 1},
      {D3DFMT_A8R8G8B8, 0xFFFFFFFFu, 1}, {D3DFMT_A1R5G5B5, 0xFFFFFFFFu, 1},
      {D3DFMT_A4R4G4B4, 0xFFFFFFFFu, 1}, {D3DFMT_A8, 0xFFFFFFFFu, 1},
      {D3DFMT_A8R3G3B2, 0xFFFFFFFFu, 1}, {D3DFMT_A8P8, 0xFFFFFFFFu, 1},
      {D3DFMT_P8, 0xFFFFFFFFu, 1},       {D3DFMT_A8L8, 0xFFFFFFFFu, 1},
      {D3DFMT_A4L4, 0xFFFFFFFFu, 1},     {D3DFMT_DXT2, 0xFFFFFFFFu, 1},
      {D3DFMT_DXT3, 0xFFFFFFFFu, 1},     {D3DFMT_DXT4, 0xFFFFFFFFu, 1},
      {D3DFMT_DXT5, 0xFFFFFFFFu, 1},
  };
  ASSERT_EQ(batch->Begin(), S_OK);
  for (const Case& c : cases) {
    FakeTexture tex(4, 4, c.format);
    device.log.clear();
    ASSERT_EQ(batch->DrawWithMatrix(&tex, nullptr, nullptr, c.color), S_OK);
    ASSERT_EQ(device.log.size(), 3u);
    EXPECT_EQ(device.log[1], RS(gate, c.want)) << c.format << " " << std::hex << c.color;
  }
  ASSERT_EQ(batch->End(), S_OK);
}

TEST_P(SpriteCallsTest, RefusedDrawsTouchNothing) {
  FakeTexture tex(8, 8, D3DFMT_A8R8G8B8);
  const RECT bad[] = {{5, 0, 4, 8}, {0, -1, 8, 8}, {-1, 0, 8, 8}, {0, 5, 8, 4}, {9, 0, 12, 8},
                      {0, 9, 8, 12}};
  for (const RECT& r : bad)
    EXPECT_EQ(batch->DrawWithMatrix(&tex, &r, nullptr, 0xFFFFFFFFu), D3DERR_INVALIDCALL);
  EXPECT_EQ(batch->DrawWithMatrix(nullptr, nullptr, nullptr, 0xFFFFFFFFu), D3DERR_INVALIDCALL);
  EXPECT_TRUE(device.log.empty());
  // The edges themselves are allowed: an empty rectangle at the far corner.
  const RECT corner{8, 8, 8, 8};
  EXPECT_EQ(batch->DrawWithMatrix(&tex, &corner, nullptr, 0xFFFFFFFFu), S_OK);
}

INSTANTIATE_TEST_SUITE_P(DeviceKinds, SpriteCallsTest, ::testing::ValuesIn(kKinds),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
