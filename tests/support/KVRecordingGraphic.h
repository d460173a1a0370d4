#pragma once
// The graphic module that also journals the texture-stage calls made on it
// (its own inner calls are not journaled), for code that binds textures
// through the module without a device to watch:
//
//     kvtest::KVRecordingGraphic graphic;
//     ... code under test ...
//     EXPECT_EQ(graphic.journal[0].name, "SetTextureStage");
//     EXPECT_EQ(graphic.journal[0].text, "mask.png");  // the texture's name
#include <string>
#include <vector>

#include "graphics/KVGraphic.h"

namespace kvtest {

class KVRecordingGraphic : public kvl::KVGraphic {
public:
    struct Call {
        std::string name;
        std::vector<double> values;  // SetTextureStage: the stage
        std::string text;            // SetTextureStage: the texture's name, "" for none
    };

    int32_t SetTextureStage(int32_t stage, kvl::IKVResourceTexture* texture) override;
    int32_t ResetTextureStages() override;

    std::vector<Call> journal;
};

} // namespace kvtest
