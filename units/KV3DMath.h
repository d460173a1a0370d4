#pragma once
// The one set of 3D conventions every 3D class uses.
//
// Matrices are 16 floats with the translation at 12, 13, 14. Read with
// column vectors they are stored column by column (element (r, c) at
// 4c + r, a point becomes M × p); read with row vectors the same storage is
// row by row (a point becomes p × M). An object's matrix is
// T · Rz · Ry · Rx · S; Euler angles are radians, applied X, then Y, then Z.
//
// Quaternions (x, y, z, w) turn into the rotation block
//   column 0 = (1 − 2y² − 2z², 2xy − 2zw, 2xz + 2yw)
//   column 1 = (2xy + 2zw, 1 − 2x² − 2z², 2yz − 2xw)
//   column 2 = (2xz − 2yw, 2yz + 2xw, 1 − 2x² − 2y²)
// and compose with `QuatMultiply`, so that
//   QuatToMatrix(QuatMultiply(a, b)) = QuatToMatrix(a) × QuatToMatrix(b).
#include "KV3DTypes.h"

namespace kvl {
namespace KV3DMath {

// Single-precision constants, as stored data expects them.
constexpr float kPi = 3.1415927f;
constexpr float kHalfPi = 1.5707964f;
constexpr float kTwoPi = 6.2831855f;
// Below this |cos Y| the X and Z angles are locked together.
constexpr float kGimbalCos = 0.0005f;
// Above this trace + 1 a rotation's quaternion is read from the trace.
constexpr float kTraceLimit = 0.0001f;
// Below this 1 − cos θ slerp blends linearly.
constexpr float kSlerpLinear = 0.05f;

void Identity(float out[16]);
// out = a × b (column vectors; with row vectors this is b × a).
void Multiply(const float a[16], const float b[16], float out[16]);
// M × (p, 1), the w row ignored.
KV3DVector TransformPoint(const float m[16], const KV3DVector& p);
// Inverse by cofactors. A zero determinant gives false and out = a copy of m.
bool Invert(const float m[16], float out[16]);

// Writes Rz · Ry · Rx of the angles into elements 0–2, 4–6, 8–10 (sines,
// cosines and products in double precision); the rest is left alone.
void SetRotationBlock(float m[16], const float angles[3]);
// Multiplies columns 0, 1, 2 by k.x, k.y, k.z (elements 0–11).
void ScaleColumns(float m[16], const float k[3]);
// The whole matrix T(position) · Rz · Ry · Rx · S(scale).
void ComposeMatrix(const float position[3], const float angles[3], const float scale[3], float out[16]);

// Euler angles of the rotation block, read as an unscaled rotation:
// Y = −asin(clamped m[2]), gimbal lock below |cos Y| 0.0005, each angle
// wrapped once into [−π, π], and the triple with the smaller X and Z chosen
// when both exceed π/2. Never NaN from finite input.
void MatrixToEuler(const float m[16], float angles[3]);
// The rotation block of a quaternion; elements 3, 7, 11, 12–14 are 0, 15 is 1.
void QuatToMatrix(const KV3DQuaternion& q, float out[16]);
// The quaternion of a rotation block, from the trace when trace + 1 exceeds
// 0.0001, else from the largest diagonal element (the 180° turns);
// normalised.
KV3DQuaternion MatrixToQuat(const float m[16]);
KV3DQuaternion EulerToQuat(const float angles[3]);
void QuatToEuler(const KV3DQuaternion& q, float angles[3]);

// a ⋆ b: x = aw·bx + bw·ax + az·by − ay·bz, ... (not normalised).
KV3DQuaternion QuatMultiply(const KV3DQuaternion& a, const KV3DQuaternion& b);
// Divided by its length unless its squared length is exactly 1 (or 0).
KV3DQuaternion QuatNormalize(const KV3DQuaternion& q);
// Spherical interpolation; t is the weight of q0 (t = 1 gives q0 exactly).
// Takes the short way (q0 negated when q0·q1 < 0), blends linearly when
// 1 − q0·q1 < 0.05; the result is not normalised.
KV3DQuaternion Slerp(const KV3DQuaternion& q0, const KV3DQuaternion& q1, float t);

// M = T × R × S of a transform record.
void TransformToMatrix(const NodeTransform& t, float out[16]);
// a ∘ b (a outer): translation M(a) × b.translation, scale a.scale ×
// b.scale, rotation a ⋆ b normalised.
NodeTransform ComposeTransforms(const NodeTransform& a, const NodeTransform& b);
// Translation of M(a)⁻¹ (M(a)'s own when singular), rotation (−x, −y, −z, w),
// scale 1 / scale.
NodeTransform InverseTransform(const NodeTransform& a);
// Scale = lengths of columns 0–2, translation = 12–14, rotation = the
// quaternion of the columns divided by their lengths (a zero column is left
// as it is).
NodeTransform DecomposeMatrix(const float m[16]);

// Whether the segment from start to end meets the axis-aligned cube of that
// half size around the centre (separating axes; a segment or cube with NaN
// in it, or a segment of no length, misses). On a hit the distance, when
// asked for, is the one from start to where the segment enters the cube (0
// when it starts inside).
bool SegmentHitsCube(const KV3DVector& start, const KV3DVector& end, const KV3DVector& centre, float half,
                     float* distance);

} // namespace KV3DMath
} // namespace kvl
