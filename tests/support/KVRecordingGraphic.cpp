#include "KVRecordingGraphic.h"

namespace kvtest {

int32_t KVRecordingGraphic::SetTextureStage(int32_t stage, kvl::IKVResourceTexture* texture) {
    journal.push_back({"SetTextureStage", {double(stage)}, texture ? texture->GetName() : ""});
    return KVGraphic::SetTextureStage(stage, texture);
}

int32_t KVRecordingGraphic::ResetTextureStages() {
    journal.push_back({"ResetTextureStages", {}, ""});
    return KVGraphic::ResetTextureStages();
}

} // namespace kvtest
