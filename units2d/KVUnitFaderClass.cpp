// Class "Fader": its attributes with the ids under which scene files store
// them, the computed "State", and the script methods "Start" and "Pause".
#include <utility>

#include "../KVLua/KVLua.h"
#include "../units/KVAttributeRows.h"
#include "../units/KVUnitFactory.h"
#include "KVUnitFader.h"

namespace kvl {

namespace {

constexpr int32_t kFirstArgument = 2;

void FadeOutChanged(void* unit) {
    if (KVUnitFader* fader = KVUnitFader::FromUnit(static_cast<KVUnit*>(unit))) fader->OnFadeOutChanged();
}

void StateChanged(void* unit) {
    if (KVUnitFader* fader = KVUnitFader::FromUnit(static_cast<KVUnit*>(unit))) fader->ApplyStateColor();
}

void StateText(KVUnit* unit, KVAttributeComputed* out) {
    static const char* const kNames[] = {"wait", "running", "paused", "ended", "ended"};
    KVUnitFader* fader = KVUnitFader::FromUnit(unit);
    const uint32_t state = fader ? fader->GetState() : 0;
    out->text = state < 5 ? kNames[state] : "";
}

int ScriptStart(IKVUnit* unit) {
    IKVLua* lua = GetLuaBinding();
    KVUnitFader* fader = KVUnitFader::FromUnit(unit);
    if (!lua || !fader) return 0;
    const bool withNotify = lua->GetTop() >= kFirstArgument;
    fader->Start(withNotify, withNotify ? lua->ToUnit(kFirstArgument) : -1);
    return 0;
}

int ScriptPause(IKVUnit* unit) {
    IKVLua* lua = GetLuaBinding();
    KVUnitFader* fader = KVUnitFader::FromUnit(unit);
    if (!lua || !fader || lua->CheckArgCount(kFirstArgument, false) != KV_OK ||
        lua->CheckArgType(kFirstArgument, SCRIPT_BOOLEAN) != KV_OK)
        return 0;
    fader->PauseFade(lua->ToBoolean(kFirstArgument));
    return 0;
}

// Both the shape and the fader have an attribute named "ColorEnd", and a
// lookup by name finds the first of them, the shape's, which the fade never
// reads. In the fader's table the two rows trade places, so that the name
// reaches the fader's end colour; each keeps its id, so scene files still
// fill both.
void PutOwnColorEndFirst(KVUnitFactory* factory, int32_t classIndex) {
    const int32_t shapeRow = factory->FindAttributePosition(classIndex, KVUnitShape::kColorEndId);
    const int32_t faderRow = factory->FindAttributePosition(classIndex, KVUnitFader::kColorEndId);
    const KVAttributeDesc* shape = factory->GetAttribute(classIndex, shapeRow);
    const KVAttributeDesc* fader = factory->GetAttribute(classIndex, faderRow);
    if (!shape || !fader) return;
    KVAttributeDesc first = *fader, second = *shape;
    first.position = shapeRow;
    second.position = faderRow;
    // The inherited row names the class it came from; both now live here.
    first.classIndex = second.classIndex = classIndex;
    factory->UpdateAttribute(first, nullptr);
    factory->UpdateAttribute(second, nullptr);
}

} // namespace

void KVUnitFader::RegisterScriptMethods(int32_t classIndex) {
    KVLua* lua = KVLua::Instance();
    if (!lua) return;
    lua->RegisterClassFunction(classIndex, "Start", &ScriptStart);
    lua->RegisterClassFunction(classIndex, "Pause", &ScriptPause);
}

int32_t KVUnitFader::RegisterClass() {
    KVUnitFactory* factory = KVUnitFactory::Instance();
    const int32_t classIndex = RegisterClassOn(factory, "Fader", &KVUnitFader::Create, "Shape", kClassId,
                                               "2D class to make fade in and fade out effects");
    if (classIndex < 0) return -1;

    KVUnitFader probe;
    const uint16_t kStored = AttributeFlags(KVAF_LISTED, KVAF_SCRIPT, KVAF_PERSISTENT);
    const KVAttributeRow rows[] = {
        {"FadeOut", KVATTR_BOOLEAN, &probe.m_fadeOut, 1, kFadeOutId, kStored, 0, nullptr, FadeOutChanged, nullptr, "",
         0},
        {"Period", KVATTR_F32, &probe.m_period, 1, kPeriodId, kStored, 0, nullptr, nullptr, nullptr, "", 0},
        {"Autoplay", KVATTR_BOOLEAN, &probe.m_autoplay, 1, kAutoplayId, kStored, 0, nullptr, nullptr, nullptr, "", 0},
        {"ColorEnd", KVATTR_COLOR, &probe.m_faderColorEnd, 1, kColorEndId, kStored, 0, nullptr, nullptr, nullptr, "",
         0},
        {"UnitNotify", KVATTR_UNIT, &probe.m_unitNotify, 1, kUnitNotifyId, kStored, 0, nullptr, nullptr, nullptr, "",
         0},
        // Computed from the state; scripts read it only.
        {"State", KVATTR_STRING, nullptr, 1, kStateId, AttributeFlags(KVAF_SCRIPT, KVAF_READ_ONLY), 0, nullptr,
         StateChanged, StateText, "", 0},
    };
    AddAttributeRows(factory, classIndex, &probe, rows, sizeof rows / sizeof rows[0]);
    PutOwnColorEndFirst(factory, classIndex);
    RegisterScriptMethods(classIndex);
    return classIndex;
}

// The unit factory's built-in table registers the class through this.
int32_t RegisterFaderClass() { return KVUnitFader::RegisterClass(); }

} // namespace kvl
