// Processor detection and the table through which every math operation is called.
//
// The table starts with first-use forwarders; the first math call of the process fills it
// with the implementation set that suits the processor (unless the registry forbids it) and
// the table never changes afterwards. Not locked: the math library is used from one thread.
#pragma once

#include <cstdint>

#include "math/math.h"
#include "platform/api/win_types.h"

namespace vellomir {

// One function pointer per slot, in slot order (slot 0 first).
struct MathDispatchTable {
  Vec4* (*transformVec2)(Vec4*, const Vec2*, const Matrix4*);                      // 0
  Vec4* (*transformVec3)(Vec4*, const Vec3*, const Matrix4*);                      // 1
  Vec4* (*transformVec4)(Vec4*, const Vec4*, const Matrix4*);                      // 2
  Matrix4* (*multiplyMatrix)(Matrix4*, const Matrix4*, const Matrix4*);            // 3
  Matrix4* (*multiplyMatrixTransposed)(Matrix4*, const Matrix4*, const Matrix4*);  // 4
  Vec2* (*transformVec2Normal)(Vec2*, const Vec2*, const Matrix4*);                // 5
  Vec3* (*transformVec3Normal)(Vec3*, const Vec3*, const Matrix4*);                // 6
  Vec3* (*normalizeVec3)(Vec3*, const Vec3*);                                      // 7
  Vec4* (*normalizeVec4)(Vec4*, const Vec4*);                                      // 8
  Vec2* (*transformVec2Coord)(Vec2*, const Vec2*, const Matrix4*);                 // 9
  Vec3* (*transformVec3Coord)(Vec3*, const Vec3*, const Matrix4*);                 // 10
  float (*computeDeterminant)(const Matrix4*);                                     // 11
  Plane* (*buildPlaneFromPointNormal)(Plane*, const Vec3*, const Vec3*);           // 12
  Plane* (*buildPlaneFromPoints)(Plane*, const Vec3*, const Vec3*, const Vec3*);   // 13
  Vec3* (*projectVec3)(Vec3*, const Vec3*, const D3DVIEWPORT8*, const Matrix4*, const Matrix4*,
                       const Matrix4*);  // 14
  Vec3* (*unprojectVec3)(Vec3*, const Vec3*, const D3DVIEWPORT8*, const Matrix4*, const Matrix4*,
                         const Matrix4*);                                                    // 15
  Vec4* (*crossVec4)(Vec4*, const Vec4*, const Vec4*, const Vec4*);                          // 16
  Vec2* (*hermiteVec2)(Vec2*, const Vec2*, const Vec2*, const Vec2*, const Vec2*, float);    // 17
  Matrix4* (*invertMatrix)(Matrix4*, float*, const Matrix4*);                                // 18
  Quaternion* (*multiplyQuaternion)(Quaternion*, const Quaternion*, const Quaternion*);      // 19
  Quaternion* (*normalizeQuaternion)(Quaternion*, const Quaternion*);                        // 20
  Plane* (*normalizePlane)(Plane*, const Plane*);                                            // 21
  Vec3* (*intersectPlaneLine)(Vec3*, const Plane*, const Vec3*, const Vec3*);                // 22
  void (*extractAxisAngle)(const Quaternion*, Vec3*, float*);                                // 23
  Quaternion* (*buildQuaternionFromMatrix)(Quaternion*, const Matrix4*);                     // 24
  Quaternion* (*buildQuaternionYawPitchRoll)(Quaternion*, float, float, float);              // 25
  Matrix4* (*buildTranslation)(Matrix4*, float, float, float);                               // 26
  Matrix4* (*buildShadowMatrix)(Matrix4*, const Vec4*, const Plane*);                        // 27
  Matrix4* (*buildReflectionMatrix)(Matrix4*, const Plane*);                                 // 28
  Quaternion* (*buildQuaternionAxisAngle)(Quaternion*, const Vec3*, float);                  // 29
  Matrix4* (*buildRotationX)(Matrix4*, float);                                               // 30
  Matrix4* (*buildRotationY)(Matrix4*, float);                                               // 31
  Matrix4* (*buildRotationZ)(Matrix4*, float);                                               // 32
  Matrix4* (*buildScaling)(Matrix4*, float, float, float);                                   // 33
  Plane* (*transformPlane)(Plane*, const Plane*, const Matrix4*);                            // 34
  Quaternion* (*slerpQuaternion)(Quaternion*, const Quaternion*, const Quaternion*, float);  // 35
  Quaternion* (*barycentricQuaternion)(Quaternion*, const Quaternion*, const Quaternion*,
                                       const Quaternion*, float, float);  // 36
  Matrix4* (*transposeMatrix)(Matrix4*, const Matrix4*);                  // 37
  Matrix4* (*buildRotationFromQuaternion)(Matrix4*, const Quaternion*);   // 38
  Matrix4* (*buildTransformation)(Matrix4*, const Vec3*, const Quaternion*, const Vec3*,
                                  const Vec3*, const Quaternion*, const Vec3*);  // 39
  Matrix4* (*buildRotationYawPitchRoll)(Matrix4*, float, float, float);          // 40
  Matrix4* (*buildAffineTransformation)(Matrix4*, float, const Vec3*, const Quaternion*,
                                        const Vec3*);           // 41
  Matrix4* (*buildRotationAxis)(Matrix4*, const Vec3*, float);  // 42
  Quaternion* (*squadQuaternion)(Quaternion*, const Quaternion*, const Quaternion*,
                                 const Quaternion*, const Quaternion*, float);  // 43
  Quaternion* (*invertQuaternion)(Quaternion*, const Quaternion*);              // 44
  void (*setupSquad)(Quaternion*, Quaternion*, Quaternion*, const Quaternion*, const Quaternion*,
                     const Quaternion*, const Quaternion*);  // 45
  Vec2* (*normalizeVec2)(Vec2*, const Vec2*);                // 46
  Vec2* (*catmullRomVec2)(Vec2*, const Vec2*, const Vec2*, const Vec2*, const Vec2*,
                          float);                                                          // 47
  Vec2* (*barycentricVec2)(Vec2*, const Vec2*, const Vec2*, const Vec2*, float, float);    // 48
  Vec3* (*hermiteVec3)(Vec3*, const Vec3*, const Vec3*, const Vec3*, const Vec3*, float);  // 49
  Vec3* (*catmullRomVec3)(Vec3*, const Vec3*, const Vec3*, const Vec3*, const Vec3*,
                          float);                                                          // 50
  Vec3* (*barycentricVec3)(Vec3*, const Vec3*, const Vec3*, const Vec3*, float, float);    // 51
  Vec4* (*hermiteVec4)(Vec4*, const Vec4*, const Vec4*, const Vec4*, const Vec4*, float);  // 52
  Vec4* (*catmullRomVec4)(Vec4*, const Vec4*, const Vec4*, const Vec4*, const Vec4*,
                          float);                                                        // 53
  Vec4* (*barycentricVec4)(Vec4*, const Vec4*, const Vec4*, const Vec4*, float, float);  // 54
  Quaternion* (*logQuaternion)(Quaternion*, const Quaternion*);                          // 55
  Quaternion* (*expQuaternion)(Quaternion*, const Quaternion*);                          // 56
};

inline constexpr int kMathDispatchSlotCount = 57;
static_assert(sizeof(MathDispatchTable) == kMathDispatchSlotCount * sizeof(void (*)()));

// Values of MathDispatchState.
inline constexpr uint32_t kMathDispatchUnfilled = 0xFFFF;
inline constexpr uint32_t kMathDispatchPortable = 0;  // portable set with the x86 subset
inline constexpr uint32_t kMathDispatch3DNow = 1;
inline constexpr uint32_t kMathDispatchSse2 = 2;
inline constexpr uint32_t kMathDispatchSse = 3;

// The table every public math operation calls through.
extern MathDispatchTable g_mathDispatchTable;
// kMathDispatchUnfilled until the first fill, then one of the other values above.
extern uint32_t MathDispatchState;

// Fills the table once for the process and returns MathDispatchState; later calls only return
// the stored state.
uint32_t FillMathDispatchTable();

// Reads one value under HKEY_LOCAL_MACHINE "Software\Direct3D" into data (at most size bytes).
// Returns 1 only when the key opens, the query succeeds and the stored type is expectedType.
int ReadDirect3DSwitch(DWORD expectedType, LPCSTR valueName, void* data, DWORD size);

// feature: PF_XMMI_INSTRUCTIONS_AVAILABLE (SSE), PF_3DNOW_INSTRUCTIONS_AVAILABLE or
// PF_XMMI64_INSTRUCTIONS_AVAILABLE (SSE2). Non-zero when the processor has the instructions and
// the operating system supports them.
int IsProcessorFeatureAvailable(DWORD feature);

// 1 when MMX code may be used, else 0. "DisableMMX" in the registry is honoured on every call;
// the processor is asked once.
int IsMmxEnabled();

}  // namespace vellomir
