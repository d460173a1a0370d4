#include "KVUnitPSBlender.h"

#include <algorithm>
#include <vector>

#include "../units/IKVUnitRef.h"
#include "../units/KVAttributeRows.h"
#include "../units/KVUnitFactory.h"
#include "KVUnitSprite.h"

namespace kvl {

namespace {

int32_t BlendedUnitsSetter(KVUnit* unit, void* holder, int32_t reason) {
    (void)reason;
    if (auto* blender = dynamic_cast<KVUnitPSBlender*>(unit))
        blender->SetBlendedUnits(static_cast<KVUnitRefArray*>(holder));
    return KV_OK;
}

} // namespace

void KVUnitPSBlender::Init() {
    KVUnitDisplay2D::Init();
    m_blended.SetOwner(GetIndex(), kBlendedUnitsId);
    SetDrawable(true);
    m_alpha = true;
}

void KVUnitPSBlender::Close() {
    const std::vector<int32_t> listed = ListedUnits();
    KVUnitDisplay2D::Close();
    UpdateMarks(listed);
}

void KVUnitPSBlender::Refresh() {
    KVUnitDisplay2D::Refresh();
    UpdateMarks(ListedUnits());
}

std::vector<int32_t> KVUnitPSBlender::ListedUnits() {
    std::vector<int32_t> indices;
    for (size_t i = 0; i < m_blended.Size(); ++i) {
        IKVUnitRef* ref = m_blended.At(i);
        if (ref && ref->GetIndex() != -1) indices.push_back(ref->GetIndex());
    }
    return indices;
}

void KVUnitPSBlender::UpdateMarks(const std::vector<int32_t>& units) {
    KVUnitFactory* factory = KVUnitFactory::Instance();
    if (!factory || units.empty()) return;
    // The units that some blender hides, among the ones asked about.
    std::vector<int32_t> hidden;
    // Unit indices run over the slots, free ones included.
    const int32_t count = factory->GetSlotCount();
    for (int32_t index = 0; index < count; ++index) {
        IKVUnit* unit = factory->GetUnit(index);
        auto* blender = unit ? dynamic_cast<KVUnitPSBlender*>(unit->GetUnit()) : nullptr;
        if (!blender || !blender->HidesListedUnits()) continue;
        for (int32_t listed : blender->ListedUnits()) hidden.push_back(listed);
    }
    for (int32_t index : units) {
        IKVUnit* unit = factory->GetUnit(index);
        if (!unit) continue;
        const bool on = std::find(hidden.begin(), hidden.end(), index) != hidden.end();
        const uint32_t flags = unit->GetFlags();
        unit->SetFlags(on ? flags | KVUNIT_DRAWN_BY_OTHER : flags & ~uint32_t(KVUNIT_DRAWN_BY_OTHER));
    }
}

void KVUnitPSBlender::SetBlendedUnits(KVUnitRefArray* units) {
    std::vector<int32_t> touched = ListedUnits();
    if (units && units != &m_blended) {
        m_blended.ReleaseAll();
        m_blended.SetOwner(GetIndex(), kBlendedUnitsId);
        for (size_t i = 0; i < units->Size(); ++i) {
            IKVUnitRef* given = units->At(i);
            IKVUnitRef* copy = given ? given->Clone() : nullptr;
            if (!copy) continue;
            m_blended.Append(copy);
            copy->Init(this, &kBlendedUnitsId);
        }
    }
    const std::vector<int32_t> listed = ListedUnits();
    touched.insert(touched.end(), listed.begin(), listed.end());
    UpdateMarks(touched);
}

void KVUnitPSBlender::Draw() {
    KVUnitDisplay2D::Draw();
    IKVGraphic* graphic = GetGraphicModule();
    KVUnitFactory* factory = KVUnitFactory::Instance();
    if (!graphic || !factory) return;
    const int32_t spriteClass = KVUnitSprite::GetSpriteClassIndex();
    std::vector<IKVResourceTexture*> textures;
    for (size_t i = 0; i < m_blended.Size(); ++i) {
        IKVUnitRef* ref = m_blended.At(i);
        IKVUnit* unit = ref && ref->GetIndex() != -1 ? factory->GetUnit(ref->GetIndex()) : nullptr;
        if (!unit || spriteClass < 0 || !factory->IsUnitOfClass(unit, spriteClass) || !unit->IsEnabled()) continue;
        KVUnitSprite* sprite = KVUnitSprite::FromUnit(unit);
        IKVResourceTexture* texture = sprite ? sprite->GetCurrentTexture() : nullptr;
        if (!texture) continue;
        textures.push_back(texture);
        // The graphic module has no stage beyond the eighth.
        if (textures.size() == size_t(KVGRAPHIC_STAGE_COUNT)) break;
    }
    if (textures.empty()) return;
    const int32_t* first = textures[0]->GetImageSize();
    // A first picture without size gives no scale to draw with.
    if (first[0] == 0 || first[1] == 0) return;
    ImageDrawRecord record;
    record.color = 0xFFFFFFFFu;
    ApplyWindow(&record);
    for (size_t stage = 0; stage < textures.size(); ++stage) graphic->SetTextureStage(int32_t(stage), textures[stage]);
    graphic->ResetTextureStages();
    KVDrawState state;
    state.blend = m_alpha ? 1 : 0;
    state.textureFlag = 1;
    graphic->SetDrawState(&state, 0);
    const float u = float(m_dimension.x) / float(first[0]), v = float(m_dimension.y) / float(first[1]);
    KV2DTransform matrix = GetWorldTransform();
    matrix.m[0] *= u;
    matrix.m[2] *= u;
    matrix.m[4] *= u;
    matrix.m[1] *= v;
    matrix.m[3] *= v;
    matrix.m[5] *= v;
    graphic->SetViewTransform(matrix.m);
    graphic->DrawImage(&record);
    graphic->EndDraw();
}

int32_t KVUnitPSBlender::RegisterClass() {
    KVUnitFactory* factory = KVUnitFactory::Instance();
    const int32_t classIndex = RegisterClassOn(factory, "PSBlender", &KVUnitPSBlender::Create, "Display2D", kClassId,
                                               "2D pixel shader blender unit class");
    if (classIndex < 0) return -1;
    KVUnitPSBlender probe;
    const uint16_t kStored = AttributeFlags(KVAF_LISTED, KVAF_SCRIPT, KVAF_PERSISTENT);
    const KVAttributeRow rows[] = {
        {"BlendedUnits", KVATTR_ARRAY_UNIT, &probe.m_blended, 1, kBlendedUnitsId, kStored, 0, &BlendedUnitsSetter,
         nullptr, nullptr, "", 0},
        // The 2D base's pair under the blender's own id: read from scene
        // files, not offered to scripts.
        {"Scale~X~Y", KVATTR_F32, &probe.m_scale, 2, kScaleId, AttributeFlags(KVAF_APPLIED), 0, nullptr, nullptr,
         nullptr, "", 0},
        {"Alpha", KVATTR_BOOLEAN, &probe.m_alpha, 1, kAlphaId, kStored, 0, nullptr, nullptr, nullptr, "", 0},
    };
    AddAttributeRows(factory, classIndex, &probe, rows, sizeof rows / sizeof rows[0]);
    return classIndex;
}

// The unit factory's built-in table registers the class through this.
int32_t RegisterPSBlenderClass() { return KVUnitPSBlender::RegisterClass(); }

} // namespace kvl
