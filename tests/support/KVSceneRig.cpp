#include "KVSceneRig.h"

#include <SDL.h>
#include <gtest/gtest.h>

#include <cstdlib>

#include "KVGLDeviceTest.h"
#include "graphics/KVGLwebOSRender.h"
#include "kernel/IKVLog.h"
#include "kernel/KVSDLCriticalSection.h"
#include "platform/PDL.h"
#include "units/IKVUnitRef.h"

namespace kvtest {

using namespace kvl;

namespace {

void RecordLog(const char* text, int32_t level, int32_t) {
    if (level == KVLOG_ERROR) KVSceneRig::LogErrors().push_back(text);
}

} // namespace

std::vector<std::string>& KVSceneRig::LogErrors() {
    static std::vector<std::string> errors;
    return errors;
}

KVSceneRig::KVSceneRig() : KVSceneRig(Options()) {}

KVSceneRig::KVSceneRig(const Options& options) {
    SceneJournal().clear();
    LogErrors().clear();
    IKVGraphicDevice3D* device = nullptr;
    if (options.device) {
        device = options.device;
        m_width = options.width;
        m_height = options.height;
    } else if (options.screen) {
        m_ready = OpenScreen(options);
        device = m_screen.get();
    } else if (options.device) {
        device = options.device;
    } else {
        m_recorder = std::make_unique<KVRecordingDevice>();
        device = m_recorder.get();
    }
    // The device comes as an extension module does, before phase 1; the
    // module registry owns the module from then on.
    m_host = std::make_unique<KVTestCoreHost>(options.editorMode, [&] {
        if (device) (new KVSceneDeviceModule(device, options.with3D))->Register();
        if (options.beforePhase1) options.beforePhase1();
    });
    if (IKVLog* log = GetLog()) log->SetCallback(&RecordLog);
    m_host->StartProject();
    RegisterSceneTestClasses(options.engineCameras);
}

KVSceneRig::~KVSceneRig() {
    // The core lets go of the device before the device goes.
    m_host.reset();
    m_recorder.reset();
    if (m_screen) m_screen->ShutdownDevice();
    m_screen.reset();
    if (m_section) m_section->Release();
    if (m_sdl) {
        PDLSetScreenSize(1024, 768);
        SDL_Quit();
    }
}

bool KVSceneRig::OpenScreen(const Options& options) {
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    m_sdl = SDL_Init(SDL_INIT_VIDEO) == 0;
    if (!m_sdl) {
        ADD_FAILURE() << SDL_GetError();
        return false;
    }
    PDLSetScreenSize(options.width, options.height);
    m_width = options.width;
    m_height = options.height;
    m_section = new KVSDLCriticalSection();
    m_screen = std::make_unique<KVGLwebOSRender>(m_section);
    if (m_screen->InitDevice() != 0) {
        m_screen->ShutdownDevice();
        m_screen.reset();
        ADD_FAILURE() << "the OpenGL ES device could not be made on a " << options.width << " x " << options.height
                      << " pbuffer";
        return false;
    }
    KeepGLDriverLoaded();
    return true;
}

KVUnit* KVSceneRig::MakeUnit(const char* className, const char* name, KVUnit* parent) {
    KVUnitFactory& factory = Factory();
    KVUnit* unit = nullptr;
    factory.CreateUnit(factory.FindClassByName(className), &unit, KVCREATE_RUNTIME, -1, 0);
    if (!unit) {
        ADD_FAILURE() << "no unit of class " << className;
        return nullptr;
    }
    if (name) unit->SetName(name);
    if (parent) unit->SetParent(parent->GetIndex());
    return unit;
}

KVTestQuadUnit* KVSceneRig::Quad(const char* name, const KVDeviceRect& rect, KVUnit* parent, uint32_t color) {
    auto* quad = Make<KVTestQuadUnit>("TestQuad", name, parent);
    if (quad) {
        quad->rect = rect;
        quad->color = color;
    }
    return quad;
}

KVTestCameraUnit* KVSceneRig::Camera(const char* name, const KVDeviceRect& viewport) {
    auto* camera = Make<KVTestCameraUnit>("Camera", name);
    if (camera) {
        camera->viewport = viewport;
        camera->SetActive(true);
    }
    return camera;
}

void KVSceneRig::SetCameras(KVUnit* unit, std::initializer_list<KVUnit*> cameras) {
    KVUnitRefArray* list = unit->GetCameras();
    list->ReleaseAll();
    for (KVUnit* camera : cameras) {
        IKVUnitRef* ref = Factory().MakeUnitRef(unit->GetIndex(), &KVUnit::kCamerasId);
        ref->SetIndex(camera->GetIndex());
        list->Append(ref);
    }
}

void KVSceneRig::SetLayer(KVUnit* unit, KVUnit* layer) { unit->GetLayerRef()->SetIndex(layer->GetIndex()); }

std::vector<std::string> KVSceneRig::ListNames(int32_t list) {
    std::vector<std::string> names;
    for (int32_t entry : Scene().GetList(list)) {
        if (entry == KVSCENE_MARK_MIRRORS) {
            names.push_back("mirrors");
        } else if (entry == KVSCENE_MARK_PREPARE) {
            names.push_back("prepare");
        } else {
            IKVUnit* unit = Factory().GetUnit(entry);
            names.push_back(unit ? unit->GetName() : "?");
        }
    }
    return names;
}

std::vector<std::string> KVSceneRig::Drawn() {
    std::vector<std::string> names;
    for (const std::string& entry : JournalStartingWith("draw ")) names.push_back(entry.substr(5));
    return names;
}

uint32_t KVSceneRig::PixelAt(int32_t x, int32_t y) { return ReadScreenPixel(x, y, m_height); }

std::vector<uint32_t> KVSceneRig::ScreenPixels() {
    std::vector<uint32_t> pixels;
    pixels.reserve(size_t(m_width) * size_t(m_height));
    for (int32_t y = 0; y < m_height; ++y)
        for (int32_t x = 0; x < m_width; ++x) pixels.push_back(PixelAt(x, y));
    return pixels;
}

} // namespace kvtest
