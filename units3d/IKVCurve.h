#pragma once
// A polyline taken from mesh data, drawn as lines while editor units show.
#include <vector>

#include "IKVObject3D.h"
#include "KV3DDataRecords.h"

namespace kvl {

class IKVCurve : public virtual IKVObject3D {
public:
    // The curve's points become a copy of these. 0.
    virtual int32_t SetPoints(const std::vector<KV3DCurvePoint>& points) = 0;
    // One line per pair of neighbouring points. 0.
    virtual int32_t Draw() = 0;
};

} // namespace kvl
