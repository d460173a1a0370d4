// Creation and deletion of the built-in modules, in the core's fixed orders.
#include "KVCore.h"

#include "../KVLua/KVAI.h"
#include "../KVLua/KVLua.h"
#include "../graphics/KVGraphic.h"
#include "../graphics/KVImageUtils.h"
#include "../media/KVMedia.h"
#include "../media/KVSoundManager.h"
#include "../units/KVSceneManager.h"
#include "../units/KVSerialize.h"
#include "../units/KVUnitFactory.h"
#include "../units2d/KVGUI.h"
#include "KVCPU.h"
#include "KVConfig.h"
#include "KVFile.h"
#include "KVInput.h"
#include "KVLog.h"
#include "KVModules.h"
#include "KVMotion.h"
#include "KVPak.h"
#include "KVProfiler.h"
#include "KVProperties.h"
#include "KVRandom.h"
#include "KVResources.h"
#include "KVThreadFactory.h"
#include "KVTimer.h"

namespace kvl {
namespace {

template <class T>
void CreateIfAbsent() {
    if (!T::Instance()) new T();
}

template <class T>
void DeleteIfPresent() {
    delete T::Instance();
}

template <class T>
IKVModule* ModuleOf() {
    return static_cast<IKVModule*>(T::Instance());
}

} // namespace

void KVCore::CreateModules() {
    CreateIfAbsent<KVFile>();
    CreateIfAbsent<KVLog>();
    CreateIfAbsent<KVConfig>();
    CreateIfAbsent<KVSerialize>();
    CreateIfAbsent<KVProperties>();
    CreateIfAbsent<KVTimer>();
    CreateIfAbsent<KVResources>();
    CreateIfAbsent<KVModules>();
    CreateIfAbsent<KVLua>();
    CreateIfAbsent<KVInput>();
    CreateIfAbsent<KVCPU>();
    CreateIfAbsent<KVThreadFactory>();
    CreateIfAbsent<KVGUI>();
    CreateIfAbsent<KVUnitFactory>();
    CreateIfAbsent<KVSceneManager>();
    CreateIfAbsent<KVRandom>();
    CreateIfAbsent<KVSoundManager>();
    CreateIfAbsent<KVImageUtils>();
    CreateIfAbsent<KVProfiler>();
    CreateIfAbsent<KVGraphic>();
    CreateIfAbsent<KVPak>();
    CreateIfAbsent<KVAI>();
    CreateIfAbsent<KVMotion>();
    CreateIfAbsent<KVMedia>();

    // The profiler is created but not listed.
    m_modules = {
        ModuleOf<KVPak>(),         ModuleOf<KVFile>(),        ModuleOf<KVLog>(),
        ModuleOf<KVConfig>(),      ModuleOf<KVSerialize>(),   ModuleOf<KVProperties>(),
        ModuleOf<KVTimer>(),       ModuleOf<KVResources>(),   ModuleOf<KVThreadFactory>(),
        ModuleOf<KVModules>(),     ModuleOf<KVLua>(),         ModuleOf<KVInput>(),
        ModuleOf<KVSceneManager>(), ModuleOf<KVCPU>(),        ModuleOf<KVGUI>(),
        ModuleOf<KVUnitFactory>(), ModuleOf<KVRandom>(),      ModuleOf<KVSoundManager>(),
        ModuleOf<KVImageUtils>(),  ModuleOf<KVGraphic>(),     ModuleOf<KVAI>(),
        ModuleOf<KVMotion>(),      ModuleOf<KVMedia>(),
    };
}

void KVCore::DeleteModules() {
    m_modules.clear();
    DeleteIfPresent<KVMedia>();
    DeleteIfPresent<KVMotion>();
    DeleteIfPresent<KVAI>();
    DeleteIfPresent<KVGUI>();
    DeleteIfPresent<KVThreadFactory>();
    DeleteIfPresent<KVCPU>();
    DeleteIfPresent<KVSoundManager>();
    DeleteIfPresent<KVGraphic>();
    DeleteIfPresent<KVProfiler>();
    DeleteIfPresent<KVImageUtils>();
    DeleteIfPresent<KVInput>();
    DeleteIfPresent<KVRandom>();
    DeleteIfPresent<KVSceneManager>();
    DeleteIfPresent<KVUnitFactory>();
    DeleteIfPresent<KVLua>();
    DeleteIfPresent<KVModules>();
    DeleteIfPresent<KVResources>();
    DeleteIfPresent<KVTimer>();
    DeleteIfPresent<KVProperties>();
    DeleteIfPresent<KVSerialize>();
    DeleteIfPresent<KVConfig>();
    DeleteIfPresent<KVLog>();
    DeleteIfPresent<KVFile>();
    DeleteIfPresent<KVPak>();
}

} // namespace kvl
