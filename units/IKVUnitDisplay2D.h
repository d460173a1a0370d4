#pragma once
// What drawn 2D units share beyond their placement: a pixel shader read
// from the "PixelShader" file, and the clip window handed to the graphic
// module's scissor while a unit fills its draw record. Units of class
// "Display2D" and its derived classes answer this id.
#include "../graphics/IKVGraphic.h"
#include "IKVUnit2D.h"

namespace kvl {

constexpr KVInterfaceId IID_IKVUnitDisplay2D = MakeId(0x0023B74E, 0x97E5B864);

class IKVUnitDisplay2D : public virtual IKVUnit2D {
public:
    // Releases the held shader, re-reads the parameter list for the path
    // and, while the unit is active, loads the shader again.
    virtual void ReloadPixelShader() = 0;
    // Makes the record draw its whole image and sets the scissor to the
    // unit's effective clip window (none when it is empty).
    virtual void ApplyWindow(ImageDrawRecord* record) = 0;

protected:
    ~IKVUnitDisplay2D() override = default;
};

} // namespace kvl
