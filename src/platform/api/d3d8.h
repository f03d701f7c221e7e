// Direct3D 8 interfaces, records and constants under the platform's own names. Plain types
// shared with the texture toolkit (formats, pools, boxes, lock records, result codes) live in
// d3d8_types.h; this header adds the objects and the device's state vocabulary.
#pragma once

#include "platform/api/d3d8_types.h"
#include "platform/api/win32.h"

// The only version the runtime accepts from Direct3DCreate8.
constexpr UINT D3D_SDK_VERSION = 220;

enum D3DDEVTYPE : uint32_t {
  D3DDEVTYPE_HAL = 1,
  D3DDEVTYPE_REF = 2,
  D3DDEVTYPE_SW = 3,
};

// Device creation behaviour flags.
constexpr DWORD D3DCREATE_FPU_PRESERVE = 0x00000002;
constexpr DWORD D3DCREATE_MULTITHREADED = 0x00000004;
constexpr DWORD D3DCREATE_PUREDEVICE = 0x00000010;
constexpr DWORD D3DCREATE_SOFTWARE_VERTEXPROCESSING = 0x00000020;
constexpr DWORD D3DCREATE_HARDWARE_VERTEXPROCESSING = 0x00000040;
constexpr DWORD D3DCREATE_MIXED_VERTEXPROCESSING = 0x00000080;

// Clear flags.
constexpr DWORD D3DCLEAR_TARGET = 0x00000001;
constexpr DWORD D3DCLEAR_ZBUFFER = 0x00000002;
constexpr DWORD D3DCLEAR_STENCIL = 0x00000004;

// Flexible vertex format bits.
constexpr DWORD D3DFVF_XYZ = 0x002;
constexpr DWORD D3DFVF_XYZRHW = 0x004;
constexpr DWORD D3DFVF_POSITION_MASK = 0x00E;
constexpr DWORD D3DFVF_NORMAL = 0x010;
constexpr DWORD D3DFVF_DIFFUSE = 0x040;
constexpr DWORD D3DFVF_SPECULAR = 0x080;
constexpr DWORD D3DFVF_TEXCOUNT_MASK = 0xF00;
constexpr DWORD D3DFVF_TEXCOUNT_SHIFT = 8;
constexpr DWORD D3DFVF_TEX0 = 0x000;
constexpr DWORD D3DFVF_TEX1 = 0x100;
constexpr DWORD D3DFVF_TEX2 = 0x200;

// Texture capabilities (D3DCAPS8::TextureCaps).
constexpr DWORD D3DPTEXTURECAPS_PERSPECTIVE = 0x00000001;
constexpr DWORD D3DPTEXTURECAPS_POW2 = 0x00000002;
constexpr DWORD D3DPTEXTURECAPS_ALPHA = 0x00000004;
constexpr DWORD D3DPTEXTURECAPS_SQUAREONLY = 0x00000020;
constexpr DWORD D3DPTEXTURECAPS_NONPOW2CONDITIONAL = 0x00000100;
constexpr DWORD D3DPTEXTURECAPS_CUBEMAP = 0x00000800;
constexpr DWORD D3DPTEXTURECAPS_VOLUMEMAP = 0x00002000;
constexpr DWORD D3DPTEXTURECAPS_MIPMAP = 0x00004000;
constexpr DWORD D3DPTEXTURECAPS_MIPVOLUMEMAP = 0x00008000;
constexpr DWORD D3DPTEXTURECAPS_MIPCUBEMAP = 0x00010000;
constexpr DWORD D3DPTEXTURECAPS_CUBEMAP_POW2 = 0x00020000;
constexpr DWORD D3DPTEXTURECAPS_VOLUMEMAP_POW2 = 0x00040000;

// Blend factor capabilities (SrcBlendCaps, DestBlendCaps).
constexpr DWORD D3DPBLENDCAPS_ZERO = 0x00000001;
constexpr DWORD D3DPBLENDCAPS_ONE = 0x00000002;
constexpr DWORD D3DPBLENDCAPS_SRCCOLOR = 0x00000004;
constexpr DWORD D3DPBLENDCAPS_INVSRCCOLOR = 0x00000008;
constexpr DWORD D3DPBLENDCAPS_SRCALPHA = 0x00000010;
constexpr DWORD D3DPBLENDCAPS_INVSRCALPHA = 0x00000020;
constexpr DWORD D3DPBLENDCAPS_DESTALPHA = 0x00000040;
constexpr DWORD D3DPBLENDCAPS_INVDESTALPHA = 0x00000080;
constexpr DWORD D3DPBLENDCAPS_DESTCOLOR = 0x00000100;
constexpr DWORD D3DPBLENDCAPS_INVDESTCOLOR = 0x00000200;

// Miscellaneous primitive capabilities (PrimitiveMiscCaps).
constexpr DWORD D3DPMISCCAPS_MASKZ = 0x00000002;
constexpr DWORD D3DPMISCCAPS_CULLNONE = 0x00000010;
constexpr DWORD D3DPMISCCAPS_CULLCW = 0x00000020;
constexpr DWORD D3DPMISCCAPS_CULLCCW = 0x00000040;
constexpr DWORD D3DPMISCCAPS_CLIPTLVERTS = 0x00000200;
constexpr DWORD D3DPMISCCAPS_BLENDOP = 0x00000800;

// Comparison capabilities (ZCmpCaps, AlphaCmpCaps): one bit per D3DCMPFUNC.
constexpr DWORD D3DPCMPCAPS_NEVER = 0x01;
constexpr DWORD D3DPCMPCAPS_LESS = 0x02;
constexpr DWORD D3DPCMPCAPS_EQUAL = 0x04;
constexpr DWORD D3DPCMPCAPS_LESSEQUAL = 0x08;
constexpr DWORD D3DPCMPCAPS_GREATER = 0x10;
constexpr DWORD D3DPCMPCAPS_NOTEQUAL = 0x20;
constexpr DWORD D3DPCMPCAPS_GREATEREQUAL = 0x40;
constexpr DWORD D3DPCMPCAPS_ALWAYS = 0x80;

// Texture filter capabilities.
constexpr DWORD D3DPTFILTERCAPS_MINFPOINT = 0x00000100;
constexpr DWORD D3DPTFILTERCAPS_MINFLINEAR = 0x00000200;
constexpr DWORD D3DPTFILTERCAPS_MAGFPOINT = 0x01000000;
constexpr DWORD D3DPTFILTERCAPS_MAGFLINEAR = 0x02000000;

// Texture addressing capabilities.
constexpr DWORD D3DPTADDRESSCAPS_WRAP = 0x01;
constexpr DWORD D3DPTADDRESSCAPS_MIRROR = 0x02;
constexpr DWORD D3DPTADDRESSCAPS_CLAMP = 0x04;

// Device capabilities (DevCaps).
constexpr DWORD D3DDEVCAPS_HWTRANSFORMANDLIGHT = 0x00010000;

enum D3DSWAPEFFECT : uint32_t {
  D3DSWAPEFFECT_DISCARD = 1,
  D3DSWAPEFFECT_FLIP = 2,
  D3DSWAPEFFECT_COPY = 3,
  D3DSWAPEFFECT_COPY_VSYNC = 4,
};

struct D3DPRESENT_PARAMETERS {
  UINT BackBufferWidth;
  UINT BackBufferHeight;
  D3DFORMAT BackBufferFormat;
  UINT BackBufferCount;
  D3DMULTISAMPLE_TYPE MultiSampleType;
  D3DSWAPEFFECT SwapEffect;
  HWND hDeviceWindow;
  BOOL Windowed;
  BOOL EnableAutoDepthStencil;
  D3DFORMAT AutoDepthStencilFormat;
  DWORD Flags;
  UINT FullScreen_RefreshRateInHz;
  UINT FullScreen_PresentationInterval;
};

// A rectangle in pixels for Clear; x2 and y2 are exclusive.
struct D3DRECT {
  LONG x1;
  LONG y1;
  LONG x2;
  LONG y2;
};

struct D3DDISPLAYMODE {
  UINT Width;
  UINT Height;
  UINT RefreshRate;
  D3DFORMAT Format;
};

struct D3DDEVICE_CREATION_PARAMETERS {
  UINT AdapterOrdinal;
  D3DDEVTYPE DeviceType;
  HWND hFocusWindow;
  DWORD BehaviorFlags;
};

struct D3DCAPS8 {
  D3DDEVTYPE DeviceType;
  UINT AdapterOrdinal;
  DWORD Caps;
  DWORD Caps2;
  DWORD Caps3;
  DWORD PresentationIntervals;
  DWORD CursorCaps;
  DWORD DevCaps;
  DWORD PrimitiveMiscCaps;
  DWORD RasterCaps;
  DWORD ZCmpCaps;
  DWORD SrcBlendCaps;
  DWORD DestBlendCaps;
  DWORD AlphaCmpCaps;
  DWORD ShadeCaps;
  DWORD TextureCaps;
  DWORD TextureFilterCaps;
  DWORD CubeTextureFilterCaps;
  DWORD VolumeTextureFilterCaps;
  DWORD TextureAddressCaps;
  DWORD VolumeTextureAddressCaps;
  DWORD LineCaps;
  DWORD MaxTextureWidth;
  DWORD MaxTextureHeight;
  DWORD MaxVolumeExtent;
  DWORD MaxTextureRepeat;
  DWORD MaxTextureAspectRatio;
  DWORD MaxAnisotropy;
  float MaxVertexW;
  DWORD MaxTextureBlendStages;
  DWORD MaxSimultaneousTextures;
  DWORD MaxActiveLights;
  DWORD MaxPrimitiveCount;
  DWORD MaxVertexIndex;
  DWORD MaxStreams;
  DWORD MaxStreamStride;
};

// 4x4 matrix used with row vectors: translation sits in the fourth row (_41, _42, _43).
struct D3DMATRIX {
  union {
    struct {
      float _11, _12, _13, _14;
      float _21, _22, _23, _24;
      float _31, _32, _33, _34;
      float _41, _42, _43, _44;
    };
    float m[4][4];
  };
};

struct D3DVECTOR {
  float x;
  float y;
  float z;
};

struct D3DCOLORVALUE {
  float r;
  float g;
  float b;
  float a;
};

enum D3DLIGHTTYPE : uint32_t {
  D3DLIGHT_POINT = 1,
  D3DLIGHT_SPOT = 2,
  D3DLIGHT_DIRECTIONAL = 3,
};

struct D3DLIGHT8 {
  D3DLIGHTTYPE Type;
  D3DCOLORVALUE Diffuse;
  D3DCOLORVALUE Specular;
  D3DCOLORVALUE Ambient;
  D3DVECTOR Position;
  D3DVECTOR Direction;
  float Range;
  float Falloff;
  float Attenuation0;
  float Attenuation1;
  float Attenuation2;
  float Theta;
  float Phi;
};

enum D3DRENDERSTATETYPE : uint32_t {
  D3DRS_ZENABLE = 7,
  D3DRS_FILLMODE = 8,
  D3DRS_SHADEMODE = 9,
  D3DRS_ZWRITEENABLE = 14,
  D3DRS_ALPHATESTENABLE = 15,
  D3DRS_LASTPIXEL = 16,
  D3DRS_SRCBLEND = 19,
  D3DRS_DESTBLEND = 20,
  D3DRS_CULLMODE = 22,
  D3DRS_ZFUNC = 23,
  D3DRS_ALPHAREF = 24,
  D3DRS_ALPHAFUNC = 25,
  D3DRS_DITHERENABLE = 26,
  D3DRS_ALPHABLENDENABLE = 27,
  D3DRS_FOGENABLE = 28,
  D3DRS_SPECULARENABLE = 29,
  D3DRS_FOGCOLOR = 34,
  D3DRS_FOGTABLEMODE = 35,
  D3DRS_FOGSTART = 36,
  D3DRS_FOGEND = 37,
  D3DRS_FOGDENSITY = 38,
  D3DRS_STENCILENABLE = 52,
  D3DRS_TEXTUREFACTOR = 60,
  D3DRS_WRAP0 = 128,
  D3DRS_CLIPPING = 136,
  D3DRS_LIGHTING = 137,
  D3DRS_AMBIENT = 139,
  D3DRS_FOGVERTEXMODE = 140,
  D3DRS_COLORVERTEX = 141,
  D3DRS_LOCALVIEWER = 142,
  D3DRS_NORMALIZENORMALS = 143,
  D3DRS_DIFFUSEMATERIALSOURCE = 145,
  D3DRS_SPECULARMATERIALSOURCE = 146,
  D3DRS_AMBIENTMATERIALSOURCE = 147,
  D3DRS_EMISSIVEMATERIALSOURCE = 148,
  D3DRS_VERTEXBLEND = 151,
  D3DRS_CLIPPLANEENABLE = 152,
  D3DRS_PATCHSEGMENTS = 164,
  D3DRS_INDEXEDVERTEXBLENDENABLE = 167,
  D3DRS_COLORWRITEENABLE = 168,
  D3DRS_BLENDOP = 171,
};
// Render states are numbered below this bound.
constexpr UINT D3DRS_STATE_COUNT = 256;

enum D3DTEXTURESTAGESTATETYPE : uint32_t {
  D3DTSS_COLOROP = 1,
  D3DTSS_COLORARG1 = 2,
  D3DTSS_COLORARG2 = 3,
  D3DTSS_ALPHAOP = 4,
  D3DTSS_ALPHAARG1 = 5,
  D3DTSS_ALPHAARG2 = 6,
  D3DTSS_TEXCOORDINDEX = 11,
  D3DTSS_ADDRESSU = 13,
  D3DTSS_ADDRESSV = 14,
  D3DTSS_BORDERCOLOR = 15,
  D3DTSS_MAGFILTER = 16,
  D3DTSS_MINFILTER = 17,
  D3DTSS_MIPFILTER = 18,
  D3DTSS_MIPMAPLODBIAS = 19,
  D3DTSS_MAXMIPLEVEL = 20,
  D3DTSS_MAXANISOTROPY = 21,
  D3DTSS_TEXTURETRANSFORMFLAGS = 24,
  D3DTSS_ADDRESSW = 25,
};
// Texture-stage states are numbered below this bound; stages below D3D_TEXTURE_STAGES.
constexpr UINT D3DTSS_STATE_COUNT = 32;
constexpr UINT D3D_TEXTURE_STAGES = 8;

enum D3DTRANSFORMSTATETYPE : uint32_t {
  D3DTS_VIEW = 2,
  D3DTS_PROJECTION = 3,
  D3DTS_TEXTURE0 = 16,
  D3DTS_TEXTURE7 = 23,
  D3DTS_WORLD = 256,
};

enum D3DPRIMITIVETYPE : uint32_t {
  D3DPT_POINTLIST = 1,
  D3DPT_LINELIST = 2,
  D3DPT_LINESTRIP = 3,
  D3DPT_TRIANGLELIST = 4,
  D3DPT_TRIANGLESTRIP = 5,
  D3DPT_TRIANGLEFAN = 6,
};

enum D3DSTATEBLOCKTYPE : uint32_t {
  D3DSBT_ALL = 1,
  D3DSBT_PIXELSTATE = 2,
  D3DSBT_VERTEXSTATE = 3,
};

// Values of individual render and texture-stage states.
enum D3DZBUFFERTYPE : uint32_t { D3DZB_FALSE = 0, D3DZB_TRUE = 1, D3DZB_USEW = 2 };
enum D3DFILLMODE : uint32_t { D3DFILL_POINT = 1, D3DFILL_WIREFRAME = 2, D3DFILL_SOLID = 3 };
enum D3DSHADEMODE : uint32_t { D3DSHADE_FLAT = 1, D3DSHADE_GOURAUD = 2, D3DSHADE_PHONG = 3 };
enum D3DCULL : uint32_t { D3DCULL_NONE = 1, D3DCULL_CW = 2, D3DCULL_CCW = 3 };
enum D3DFOGMODE : uint32_t {
  D3DFOG_NONE = 0,
  D3DFOG_EXP = 1,
  D3DFOG_EXP2 = 2,
  D3DFOG_LINEAR = 3,
};
enum D3DCMPFUNC : uint32_t {
  D3DCMP_NEVER = 1,
  D3DCMP_LESS = 2,
  D3DCMP_EQUAL = 3,
  D3DCMP_LESSEQUAL = 4,
  D3DCMP_GREATER = 5,
  D3DCMP_NOTEQUAL = 6,
  D3DCMP_GREATEREQUAL = 7,
  D3DCMP_ALWAYS = 8,
};
enum D3DBLEND : uint32_t {
  D3DBLEND_ZERO = 1,
  D3DBLEND_ONE = 2,
  D3DBLEND_SRCCOLOR = 3,
  D3DBLEND_INVSRCCOLOR = 4,
  D3DBLEND_SRCALPHA = 5,
  D3DBLEND_INVSRCALPHA = 6,
  D3DBLEND_DESTALPHA = 7,
  D3DBLEND_INVDESTALPHA = 8,
  D3DBLEND_DESTCOLOR = 9,
  D3DBLEND_INVDESTCOLOR = 10,
};
enum D3DBLENDOP : uint32_t {
  D3DBLENDOP_ADD = 1,
  D3DBLENDOP_SUBTRACT = 2,
  D3DBLENDOP_REVSUBTRACT = 3,
  D3DBLENDOP_MIN = 4,
  D3DBLENDOP_MAX = 5,
};
enum D3DMATERIALCOLORSOURCE : uint32_t {
  D3DMCS_MATERIAL = 0,
  D3DMCS_COLOR1 = 1,
  D3DMCS_COLOR2 = 2,
};
enum D3DTEXTUREOP : uint32_t {
  D3DTOP_DISABLE = 1,
  D3DTOP_SELECTARG1 = 2,
  D3DTOP_SELECTARG2 = 3,
  D3DTOP_MODULATE = 4,
  D3DTOP_MODULATE2X = 5,
  D3DTOP_MODULATE4X = 6,
  D3DTOP_ADD = 7,
};
// Texture arguments: a source selector in the low bits, modifiers above.
constexpr DWORD D3DTA_SELECTMASK = 0x0000000F;
constexpr DWORD D3DTA_DIFFUSE = 0x00000000;
constexpr DWORD D3DTA_CURRENT = 0x00000001;
constexpr DWORD D3DTA_TEXTURE = 0x00000002;
constexpr DWORD D3DTA_TFACTOR = 0x00000003;
constexpr DWORD D3DTA_SPECULAR = 0x00000004;
constexpr DWORD D3DTA_COMPLEMENT = 0x00000010;
constexpr DWORD D3DTA_ALPHAREPLICATE = 0x00000020;
enum D3DTEXTUREFILTERTYPE : uint32_t {
  D3DTEXF_NONE = 0,
  D3DTEXF_POINT = 1,
  D3DTEXF_LINEAR = 2,
  D3DTEXF_ANISOTROPIC = 3,
};
enum D3DTEXTUREADDRESS : uint32_t {
  D3DTADDRESS_WRAP = 1,
  D3DTADDRESS_MIRROR = 2,
  D3DTADDRESS_CLAMP = 3,
  D3DTADDRESS_BORDER = 4,
};

// Interface identifiers. The three texture ones are fixed by the texture loader's callers; the
// others are this runtime's own.
inline constexpr GUID IID_IDirect3DBaseTexture8 = {
    0xB4211CFA, 0x51B9, 0x4A9F, {0xAB, 0x78, 0xDB, 0x99, 0xB2, 0xBB, 0x67, 0x8E}};
inline constexpr GUID IID_IDirect3DTexture8 = {
    0xE4CDD575, 0x2866, 0x4F01, {0xB1, 0x2E, 0x7E, 0xEC, 0xE1, 0xEC, 0x93, 0x58}};
inline constexpr GUID IID_IDirect3DVolumeTexture8 = {
    0x4B8AAAFA, 0x140F, 0x42BA, {0x91, 0x31, 0x59, 0x7E, 0xAF, 0xAA, 0x2E, 0xAD}};
inline constexpr GUID IID_IUnknown = {
    0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
inline constexpr GUID IID_IDirect3D8 = {
    0x5E1D7A20, 0x9C41, 0x4B6E, {0x8A, 0x10, 0x3D, 0x11, 0x00, 0x00, 0x00, 0x01}};
inline constexpr GUID IID_IDirect3DDevice8 = {
    0x5E1D7A20, 0x9C41, 0x4B6E, {0x8A, 0x10, 0x3D, 0x11, 0x00, 0x00, 0x00, 0x02}};
inline constexpr GUID IID_IDirect3DResource8 = {
    0x5E1D7A20, 0x9C41, 0x4B6E, {0x8A, 0x10, 0x3D, 0x11, 0x00, 0x00, 0x00, 0x03}};
inline constexpr GUID IID_IDirect3DCubeTexture8 = {
    0x5E1D7A20, 0x9C41, 0x4B6E, {0x8A, 0x10, 0x3D, 0x11, 0x00, 0x00, 0x00, 0x04}};
inline constexpr GUID IID_IDirect3DSurface8 = {
    0x5E1D7A20, 0x9C41, 0x4B6E, {0x8A, 0x10, 0x3D, 0x11, 0x00, 0x00, 0x00, 0x05}};
inline constexpr GUID IID_IDirect3DVolume8 = {
    0x5E1D7A20, 0x9C41, 0x4B6E, {0x8A, 0x10, 0x3D, 0x11, 0x00, 0x00, 0x00, 0x06}};
inline constexpr GUID IID_IDirect3DVertexBuffer8 = {
    0x5E1D7A20, 0x9C41, 0x4B6E, {0x8A, 0x10, 0x3D, 0x11, 0x00, 0x00, 0x00, 0x07}};

struct IDirect3D8;
struct IDirect3DDevice8;
struct IDirect3DSurface8;
struct IDirect3DVolume8;

// Anything the device owns memory for.
struct IDirect3DResource8 : IUnknown {
  virtual HRESULT GetDevice(IDirect3DDevice8** device) = 0;
  virtual D3DRESOURCETYPE GetType() = 0;

 protected:
  ~IDirect3DResource8() = default;
};

struct IDirect3DBaseTexture8 : IDirect3DResource8 {
  virtual DWORD GetLevelCount() = 0;

 protected:
  ~IDirect3DBaseTexture8() = default;
};

struct IDirect3DTexture8 : IDirect3DBaseTexture8 {
  virtual HRESULT GetLevelDesc(UINT level, D3DSURFACE_DESC* desc) = 0;
  virtual HRESULT GetSurfaceLevel(UINT level, IDirect3DSurface8** surface) = 0;
  virtual HRESULT LockRect(UINT level, D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags) = 0;
  virtual HRESULT UnlockRect(UINT level) = 0;

 protected:
  ~IDirect3DTexture8() = default;
};

struct IDirect3DVolumeTexture8 : IDirect3DBaseTexture8 {
  virtual HRESULT GetLevelDesc(UINT level, D3DVOLUME_DESC* desc) = 0;
  virtual HRESULT GetVolumeLevel(UINT level, IDirect3DVolume8** volume) = 0;
  virtual HRESULT LockBox(UINT level, D3DLOCKED_BOX* locked, const D3DBOX* box, DWORD flags) = 0;
  virtual HRESULT UnlockBox(UINT level) = 0;

 protected:
  ~IDirect3DVolumeTexture8() = default;
};

struct IDirect3DCubeTexture8 : IDirect3DBaseTexture8 {
  virtual HRESULT GetLevelDesc(UINT level, D3DSURFACE_DESC* desc) = 0;
  virtual HRESULT GetCubeMapSurface(D3DCUBEMAP_FACES face, UINT level,
                                    IDirect3DSurface8** surface) = 0;
  virtual HRESULT LockRect(D3DCUBEMAP_FACES face, UINT level, D3DLOCKED_RECT* locked,
                           const RECT* rect, DWORD flags) = 0;
  virtual HRESULT UnlockRect(D3DCUBEMAP_FACES face, UINT level) = 0;

 protected:
  ~IDirect3DCubeTexture8() = default;
};

// Vertex buffers are not created by this runtime; the type exists so that stream 0 can be
// unbound with SetStreamSource(0, NULL, 0).
struct IDirect3DVertexBuffer8 : IDirect3DResource8 {
 protected:
  ~IDirect3DVertexBuffer8() = default;
};

// A 2-D image: a texture level, a cube face level or a stand-alone image surface. A level's
// references are its container's references.
struct IDirect3DSurface8 : IUnknown {
  virtual HRESULT GetDevice(IDirect3DDevice8** device) = 0;
  virtual HRESULT GetContainer(REFIID riid, void** container) = 0;
  virtual HRESULT GetDesc(D3DSURFACE_DESC* desc) = 0;
  virtual HRESULT LockRect(D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags) = 0;
  virtual HRESULT UnlockRect() = 0;

 protected:
  ~IDirect3DSurface8() = default;
};

// One level of a volume texture.
struct IDirect3DVolume8 : IUnknown {
  virtual HRESULT GetDevice(IDirect3DDevice8** device) = 0;
  virtual HRESULT GetContainer(REFIID riid, void** container) = 0;
  virtual HRESULT GetDesc(D3DVOLUME_DESC* desc) = 0;
  virtual HRESULT LockBox(D3DLOCKED_BOX* locked, const D3DBOX* box, DWORD flags) = 0;
  virtual HRESULT UnlockBox() = 0;

 protected:
  ~IDirect3DVolume8() = default;
};

struct IDirect3DDevice8 : IUnknown {
  // Queries.
  virtual HRESULT TestCooperativeLevel() = 0;
  virtual HRESULT GetDirect3D(IDirect3D8** direct3d) = 0;
  virtual HRESULT GetDeviceCaps(D3DCAPS8* caps) = 0;
  virtual HRESULT GetDisplayMode(D3DDISPLAYMODE* mode) = 0;
  virtual HRESULT GetCreationParameters(D3DDEVICE_CREATION_PARAMETERS* parameters) = 0;

  // Swap chain.
  virtual HRESULT Reset(D3DPRESENT_PARAMETERS* parameters) = 0;
  virtual HRESULT Present(const RECT* sourceRect, const RECT* destRect, HWND destWindowOverride,
                          const void* dirtyRegion) = 0;

  // Resources.
  virtual HRESULT CreateTexture(UINT width, UINT height, UINT levels, DWORD usage,
                                D3DFORMAT format, D3DPOOL pool, IDirect3DTexture8** texture) = 0;
  virtual HRESULT CreateVolumeTexture(UINT width, UINT height, UINT depth, UINT levels,
                                      DWORD usage, D3DFORMAT format, D3DPOOL pool,
                                      IDirect3DVolumeTexture8** texture) = 0;
  virtual HRESULT CreateCubeTexture(UINT edgeLength, UINT levels, DWORD usage, D3DFORMAT format,
                                    D3DPOOL pool, IDirect3DCubeTexture8** texture) = 0;
  virtual HRESULT CreateImageSurface(UINT width, UINT height, D3DFORMAT format,
                                     IDirect3DSurface8** surface) = 0;
  virtual HRESULT CopyRects(IDirect3DSurface8* source, const RECT* sourceRects, UINT rectCount,
                            IDirect3DSurface8* destination, const POINT* destPoints) = 0;
  virtual HRESULT UpdateTexture(IDirect3DBaseTexture8* source,
                                IDirect3DBaseTexture8* destination) = 0;

  // Frame.
  virtual HRESULT BeginScene() = 0;
  virtual HRESULT EndScene() = 0;
  virtual HRESULT Clear(DWORD rectCount, const D3DRECT* rects, DWORD flags, D3DCOLOR color, float z,
                        DWORD stencil) = 0;

  // Fixed-function state.
  virtual HRESULT SetTransform(D3DTRANSFORMSTATETYPE state, const D3DMATRIX* matrix) = 0;
  virtual HRESULT GetTransform(D3DTRANSFORMSTATETYPE state, D3DMATRIX* matrix) = 0;
  virtual HRESULT SetViewport(const D3DVIEWPORT8* viewport) = 0;
  virtual HRESULT GetViewport(D3DVIEWPORT8* viewport) = 0;
  virtual HRESULT SetLight(DWORD index, const D3DLIGHT8* light) = 0;
  virtual HRESULT GetLight(DWORD index, D3DLIGHT8* light) = 0;
  virtual HRESULT LightEnable(DWORD index, BOOL enable) = 0;
  virtual HRESULT GetLightEnable(DWORD index, BOOL* enable) = 0;
  virtual HRESULT SetRenderState(D3DRENDERSTATETYPE state, DWORD value) = 0;
  virtual HRESULT GetRenderState(D3DRENDERSTATETYPE state, DWORD* value) = 0;

  // State blocks.
  virtual HRESULT BeginStateBlock() = 0;
  virtual HRESULT EndStateBlock(DWORD* token) = 0;
  virtual HRESULT ApplyStateBlock(DWORD token) = 0;
  virtual HRESULT CaptureStateBlock(DWORD token) = 0;
  virtual HRESULT DeleteStateBlock(DWORD token) = 0;

  // Textures and stages.
  virtual HRESULT GetTexture(DWORD stage, IDirect3DBaseTexture8** texture) = 0;
  virtual HRESULT SetTexture(DWORD stage, IDirect3DBaseTexture8* texture) = 0;
  virtual HRESULT GetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type,
                                       DWORD* value) = 0;
  virtual HRESULT SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type,
                                       DWORD value) = 0;

  // Drawing.
  virtual HRESULT DrawPrimitiveUP(D3DPRIMITIVETYPE type, UINT primitiveCount,
                                  const void* vertices, UINT stride) = 0;
  virtual HRESULT SetVertexShader(DWORD handle) = 0;
  virtual HRESULT GetVertexShader(DWORD* handle) = 0;
  virtual HRESULT SetStreamSource(UINT stream, IDirect3DVertexBuffer8* buffer, UINT stride) = 0;
  virtual HRESULT GetStreamSource(UINT stream, IDirect3DVertexBuffer8** buffer, UINT* stride) = 0;

 protected:
  ~IDirect3DDevice8() = default;
};

struct IDirect3D8 : IUnknown {
  virtual UINT GetAdapterCount() = 0;
  virtual HRESULT GetAdapterDisplayMode(UINT adapter, D3DDISPLAYMODE* mode) = 0;
  virtual HRESULT CheckDeviceFormat(UINT adapter, D3DDEVTYPE deviceType, D3DFORMAT adapterFormat,
                                    DWORD usage, D3DRESOURCETYPE resourceType,
                                    D3DFORMAT checkFormat) = 0;
  virtual HRESULT GetDeviceCaps(UINT adapter, D3DDEVTYPE deviceType, D3DCAPS8* caps) = 0;
  virtual HRESULT CreateDevice(UINT adapter, D3DDEVTYPE deviceType, HWND focusWindow,
                               DWORD behaviorFlags, D3DPRESENT_PARAMETERS* parameters,
                               IDirect3DDevice8** device) = 0;

 protected:
  ~IDirect3D8() = default;
};

// Creates the runtime's one Direct3D object; null unless sdkVersion is D3D_SDK_VERSION.
IDirect3D8* Direct3DCreate8(UINT sdkVersion);
