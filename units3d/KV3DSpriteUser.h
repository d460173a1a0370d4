#pragma once
// The embeddable unit whose texture a 3D unit shows: the unit is counted
// as a user of the embeddable unit it names, and of that one only, so that
// the embeddable unit is not drawn on screen while it is shown elsewhere.
#include <cstdint>

namespace kvl {

class KV3DSpriteUser {
public:
    // The unit named now: the one counted so far is let go, this one counted
    // (when it is a live embeddable unit).
    void Follow(int32_t unitIndex);
    int32_t GetUsed() const { return m_used; }

private:
    int32_t m_used = -1;
};

} // namespace kvl
