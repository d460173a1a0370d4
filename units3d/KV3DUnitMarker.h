#pragma once
// 3D units that have no geometry of their own (lights, particle emitters)
// as the editor shows them: a cross of three lines through the position,
// and a small cube around it that a camera's pick ray may hit.
#include <cstdint>

#include "../units/IKVSceneManager.h"
#include "../units/IKVUnitCamera.h"

namespace kvl {

class IKVGraphicDevice3D;
class IKVUnit;

namespace KV3DUnitMarker {

// The pick ray through the point of the camera unit given, else of the scene
// manager's camera; false when there is no such camera.
bool RayAt(const KVScreenPoint& point, IKVUnit* camera, KVPickRay* out);

// Whether the segment from the ray's origin to its far point meets the
// axis-aligned cube of that half size around the centre (separating axes;
// a segment or cube with NaN in it misses). On a hit the distance, when
// asked for, is the one from the origin to where the segment enters the
// cube (0 when it starts inside).
bool SegmentHitsCube(const KVPickRay& ray, const KV3DVector& centre, float half, float* distance);

// Three lines of length 2 through the point, along x, y and z, with the
// world transform set to the identity.
void DrawCross(IKVGraphicDevice3D* device, const KV3DVector& at, uint32_t color);

} // namespace KV3DUnitMarker

} // namespace kvl
