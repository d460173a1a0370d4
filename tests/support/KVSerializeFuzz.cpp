#include "KVSerializeFuzz.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <map>

#include "KVMemoryFile.h"
#include "KVProjectFileWriter.h"
#include "KVPropertiesBlockWriter.h"
#include "KVRecordingSerializeHost.h"
#include "KVSceneFileWriter.h"
#include "KVSceneUnitsWriter.h"
#include "kernel/KVProperties.h"
#include "units/IKVUnitCamera.h"
#include "units/IKVUnitIterator.h"
#include "units/KVSerialize.h"
#include "units/KVUnit.h"
#include "units/KVUnitFactory.h"

namespace kvtest {
namespace {

using kvl::KVSerialize;

constexpr const char* kProjectPath = "game/project.kvproj";
constexpr const char* kScenePath = "game/scene.kvl";
constexpr int kMaxSteps = 256;
constexpr size_t kMaxGroups = 64;

using ReadStep = int32_t (*)(KVSerialize&);

int32_t StepUnitTable(KVSerialize& s) { return s.BeginChunk(1, 0x30000, nullptr); }
int32_t StepUnitRecord(KVSerialize& s) {
    uint32_t version = 0;
    return s.BeginChunk(2, 0x30003, &version);
}
int32_t StepSkipChunk(KVSerialize& s) { return s.SkipChunk(); }
int32_t StepString(KVSerialize& s) {
    std::string text;
    return s.ReadString(&text);
}
int32_t StepValue4(KVSerialize& s) {
    uint8_t value[4];
    return s.ReadValue(value, 4);
}
int32_t StepValue1(KVSerialize& s) {
    uint8_t value = 0;
    return s.ReadValue(&value, 1);
}
int32_t StepUInt64(KVSerialize& s) {
    uint64_t value = 0;
    return s.ReadUInt64(&value);
}
int32_t StepUnitRef(KVSerialize& s) {
    uint64_t uid = 0;
    return s.ReadUnitRef(&uid);
}
int32_t StepUnitRefArray(KVSerialize& s) {
    std::vector<uint64_t> uids;
    return s.ReadUnitRefArray(&uids);
}
int32_t StepPointArray(KVSerialize& s) {
    std::vector<kvl::KVPoint32> points;
    return s.ReadPointArray(&points);
}
int32_t StepStringList(KVSerialize& s) {
    std::vector<std::string> list;
    return s.ReadStringList(&list);
}
int32_t StepSkipBlock(KVSerialize& s) { return s.SkipBlock(); }
int32_t StepSkipStringTable(KVSerialize& s) { return s.SkipStringTable(); }
int32_t StepBytes(KVSerialize& s) {
    uint8_t bytes[16];
    return s.ReadBytes(bytes, sizeof bytes);
}

const ReadStep kSteps[] = {StepUnitTable,    StepUnitRecord, StepSkipChunk,  StepString,    StepValue4,
                           StepValue1,       StepUInt64,     StepUnitRef,    StepUnitRefArray,
                           StepPointArray,   StepStringList, StepSkipBlock,  StepSkipStringTable,
                           StepBytes};

// A project of the given format listing the one fuzzed scene, written once
// per format for the whole process: every input is read through one.
const std::vector<uint8_t>& SceneProject(uint32_t version) {
    static std::map<uint32_t, std::vector<uint8_t>> projects;
    std::vector<uint8_t>& project = projects[version];
    if (project.empty())
        project = KVProjectFileWriter(version, kFuzzProjectId).AddKvl("scene.kvl").AddGroup("Scene", {0}, true).Build();
    return project;
}

// The fuzzed scene as the one kvl of a project of that version, its head
// read (opened) and the project file closed again.
struct FuzzScene {
    KVMemoryFile files;
    KVRecordingSerializeHost host;
    KVSerialize serializer;
    bool opened = false;

    FuzzScene(uint32_t projectVersion, const uint8_t* data, size_t size) {
        files.SetFile(kProjectPath, SceneProject(projectVersion));
        files.SetFile(kScenePath, data, size);
        host.projectId = kFuzzProjectId;
        serializer.SetHost(&host);
        serializer.SetFileInterface(&files);
        opened = serializer.LoadProject(kProjectPath) == 0;
        serializer.CloseFile();
    }
};

bool OpenScene(KVSerialize& serializer) {
    if (serializer.ReadKvlHeader(0) != 0) return false;
    // The core passes over the first two chunks of scenes older than 0x20000.
    if (serializer.GetVersion() < 0x20000) {
        serializer.SkipChunk();
        serializer.SkipChunk();
    }
    return serializer.IsFileOpen();
}

} // namespace

void KVFuzzProjectFile(const uint8_t* data, size_t size) {
    KVMemoryFile files;
    files.SetFile(kProjectPath, data, size);
    KVRecordingSerializeHost host;
    host.projectId = kFuzzProjectId;
    KVSerialize serializer;
    serializer.SetHost(&host);
    serializer.SetFileInterface(&files);
    host.onOpenKvl = [&serializer](int32_t index) {
        int32_t result = serializer.ReadKvlHeader(index);
        serializer.CloseFile();
        return result;
    };
    if (serializer.LoadProject(kProjectPath) != 0) return;
    {
        kvl::KVProperties properties;
        properties.ReadProjectBlock(serializer);
    }
    if (serializer.GetProjectVersion() < 0x10002) serializer.SkipChunk();
    uint8_t unitHeader[16];
    serializer.ReadBytes(unitHeader, sizeof unitHeader);
    serializer.CloseFile();

    const size_t groups = std::min(serializer.GetGroups().size(), kMaxGroups);
    for (size_t g = 0; g < groups; ++g) serializer.LoadGroup(int32_t(g));
    for (size_t g = 0; g < groups; ++g) {
        serializer.UnloadGroup(int32_t(g));
        serializer.UnloadGroup(int32_t(g));
    }
    if (serializer.GetKvlCount() > 0) {
        std::string path = serializer.GetKvls()[0].path;
        serializer.FindKvlByTitle(path);
        serializer.GetKVLIndex(path);
        serializer.RemoveKvl(0);
    }
    serializer.Release(1);
    serializer.Release(2);
}

void KVFuzzSceneFile(const uint8_t* data, size_t size) {
    for (uint32_t projectVersion : {0x10004u, 0x10005u}) {
        FuzzScene scene(projectVersion, data, size);
        KVSerialize& serializer = scene.serializer;
        if (!scene.opened) return;

        for (ReadStep step : kSteps) {
            if (!OpenScene(serializer)) return;
            for (int n = 0; n < kMaxSteps && step(serializer) == 0; ++n) {
            }
        }
        if (!OpenScene(serializer)) return;
        bool reading = true;
        for (int n = 0; n < kMaxSteps && reading; ++n) {
            for (ReadStep step : kSteps) {
                if (step(serializer) != 0) {
                    reading = false;
                    break;
                }
            }
        }
        serializer.CloseFile();
    }
}

namespace {

constexpr uint64_t kCheckPropertyId = 0x004F36E0B01D2350ull;

// What the scene asks of its cameras while it draws and picks.
void AskCameras(kvl::KVUnitFactory& factory) {
    kvl::IKVUnitIterator* units = factory.NewUnitIterator();
    for (; !units->IsEnd(); units->Next()) {
        kvl::IKVUnit* unit = factory.GetUnit(units->GetIndex());
        void* face = nullptr;
        if (!unit || unit->QueryInterface(kvl::IID_IKVUnitCamera, &face) != kvl::KV_OK || !face) continue;
        auto* camera = static_cast<kvl::IKVUnitCamera*>(face);
        camera->UpdateMatrices();
        const kvl::KV3DFrustum* frustum = camera->GetFrustum();
        kvl::KVPickRay ray;
        camera->GetPickRay(0, 0, &ray);
        camera->GetPickRay(INT32_MAX, INT32_MIN, &ray);
        kvl::KVProjectedPoint point;
        if (frustum) camera->Project(&frustum->boxMax, &point);
        camera->Project(camera->GetTarget(), &point);
    }
    units->Release();
}

// One read of the scene's units, the passes after it and the release of
// what it made; the units made.
int32_t LoadSceneUnits(const uint8_t* data, size_t size, kvl::KVUnitFactory& factory) {
    FuzzScene scene(0x10005, data, size);
    KVSerialize& serializer = scene.serializer;
    if (!scene.opened) return -1;
    int32_t made = -1;
    if (OpenScene(serializer)) {
        factory.CreateSceneUnits(0);
        made = factory.GetUnitCount();
    }
    serializer.CloseFile();
    factory.FinishSceneLoad(0, 1);
    factory.FlushPendingEnables();
    AskCameras(factory);
    factory.CloseKvlUnits(0, false);
    return made;
}

} // namespace

KVFuzzUnitsRig::KVFuzzUnitsRig()
    : m_properties(std::make_unique<kvl::KVProperties>()), m_factory(std::make_unique<kvl::KVUnitFactory>()) {
    kvl::KVUnitFactory& factory = *m_factory;
    factory.Init(0);
    factory.Init(2);
    const int32_t base = factory.FindClassByName("Unit");
    const int32_t fuzz = factory.CreateProjectClass("FuzzUnit", base, kFuzzClassId);
    for (int32_t type = 0; type < kvl::KVATTR_TYPE_COUNT; ++type)
        factory.AddDynamicAttribute("A" + std::to_string(type), fuzz, kFuzzAttributeId + uint64_t(type), type, false);
    m_classCount = factory.GetClassCount();
    m_propertyCount = m_properties->GetPropertyCount();
}

KVFuzzUnitsRig::~KVFuzzUnitsRig() {
    m_factory->Release(4);
    m_factory.reset();
    m_properties.reset();
}

int32_t KVFuzzUnitsRig::Read(const uint8_t* data, size_t size) {
    m_properties->SetBooleanById(kCheckPropertyId, false);
    const int32_t made = LoadSceneUnits(data, size, *m_factory);
    m_properties->SetBooleanById(kCheckPropertyId, true);
    LoadSceneUnits(data, size, *m_factory);
    Reset();
    return made;
}

void KVFuzzUnitsRig::Reset() {
    kvl::KVUnitFactory& factory = *m_factory;
    factory.ReleaseUnits();
    factory.Init(0);  // the run state: selection, load and close modes
    std::string left;
    const auto check = [&left](bool clean, const char* what) {
        if (!clean) left = left + " " + what;
    };
    check(factory.GetUnitCount() == 0 && factory.GetSlotCount() == 0, "units");
    check(factory.GetRootIndices().empty(), "roots");
    check(factory.GetRuntimeUnitCount() == 0, "run-time units");
    check(factory.GetEnabledCount() == 0, "enabled units");
    check(factory.GetPendingLinks().empty() && factory.GetUnresolvedLinks().empty(), "links");
    check(factory.GetEnableQueue().empty(), "queued enables");
    check(factory.GetOpenWalkCount() == 0, "unit walks");
    check(factory.GetLinkerCount() == 0, "linkers");
    check(factory.GetClassCount() == m_classCount, "classes");
    check(m_properties->GetPropertyCount() == m_propertyCount, "properties");
    for (int32_t c = 0; c < factory.GetClassCount(); ++c)
        if (factory.GetClass(c)->liveUnits != 0) left += " live units of class " + factory.GetClass(c)->name;
    if (left.empty()) return;
    std::fprintf(stderr, "scene units: the factory kept after the scene's release:%s\n", left.c_str());
    std::abort();
}

int32_t KVFuzzSceneUnits(const uint8_t* data, size_t size) { return KVFuzzUnitsRig().Read(data, size); }

std::vector<std::vector<uint8_t>> KVSceneUnitsSeeds() {
    using kvtest::KVStored;
    std::vector<std::vector<uint8_t>> seeds;
    // Strings stand padded in every version but 0x20002 (the writer pads
    // them), links are wide up to 0x20001.
    for (uint32_t version : {0x10001u, 0x10006u, 0x20000u, 0x20001u, 0x20002u, 0x20003u, 0x20004u}) {
        const bool old = version <= 0x20001;
        const uint32_t section = version < 0x20000 ? 0x10003u : 0x20000u;
        KVSceneUnitsWriter units(section);
        const int32_t unit = units.AddClass(KVSceneUnitsWriter::UnitClass());
        KVSceneClassSpec fuzz;
        fuzz.classId = kFuzzClassId;
        fuzz.name = "FuzzUnit";
        fuzz.baseEntry = unit;
        for (uint32_t type : {0u, 1u, 3u, 4u, 6u, 9u, 10u, 12u, 13u}) fuzz.attributes.push_back({kFuzzAttributeId + type, type, 1});
        fuzz.valueOrder = {13, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
        const int32_t fuzzEntry = units.AddClass(fuzz);
        KVSceneClassSpec ghost;
        ghost.classId = 0x0047484F53540001ull;
        ghost.name = "Ghost";
        ghost.attributes = {{0x1111, 0, 1}};
        const int32_t ghostEntry = units.AddClass(ghost);
        const uint32_t record = version < 0x20000 ? 0x20000u : 0x30003u;
        KVSceneUnitSpec& root = units.AddPlainUnit("Root", 0x501, {KVStored::Local(1), 0x503, 0xDEAD}, 0x12, true, version);
        root.version = record;
        root.parameters = {{1, "color", {0x3f800000u, 0, 0, 0}}, {0, "count", {7}}};
        KVSceneUnitSpec& child = units.AddUnit(
            fuzzEntry, KVSceneUnitsWriter::UnitValues("Child", 0x502, {KVStored::Local(0)}, 0x12, true, version));
        child.version = record;
        child.values.resize(units.AttributeCount(fuzzEntry));
        child.values[5] = KVStored::U32(42);
        child.values[6] = KVStored::F32(1.5f);
        child.values[7] = KVStored::String("Data\\Images\\A.PNG", old);
        child.values[8] = KVStored::String("text", old);
        child.values[9] = KVStored::Links({KVStored::Local(0), 0x501}, old);
        child.values[10] = KVStored::Link(0x501, old);
        child.values[11] = KVStored::String("a.png|B\\c.png", old);
        child.values[12] = KVStored::Concat({KVStored::U32(2), KVStored::I32(1), KVStored::I32(2), KVStored::I32(-3),
                                             KVStored::I32(4)});
        child.values[13] = KVStored::U64(0x777);
        units.AddPlainUnit("Third", 0x503, {KVStored::Local(1)}, 0x12, true, version).version = record;
        units.AddUnit(ghostEntry, {KVStored::U32(1)}).version = record;
        seeds.push_back(units.Scene(version, kFuzzProjectId));
    }
    return seeds;
}

namespace {

// The "Unit3D" entry on the "Unit" entry: Position, Rotation, Scale,
// AutoClipped.
KVSceneClassSpec Unit3DClass(int32_t unitEntry) {
    return {0x001BFA31A4A1E5E8ull, "Unit3D", unitEntry,
            {{0x006DC45310AD9600ull, 1, 3}, {0x005AB8D010EF8FA0ull, 14, 3},
             {0x0001C21774263F56ull, 1, 3}, {0x0053D5119F1CF8F0ull, 7, 1}},
            {}, -1};
}

// The units in the oldest and the newest layouts that carry them: fill
// gets the writer with its "Unit" entry, the layout's version, the version
// of its unit records and whether its strings are of the old kind.
template <class Fill>
std::vector<std::vector<uint8_t>> TwoLayoutSeeds(Fill fill) {
    std::vector<std::vector<uint8_t>> seeds;
    for (uint32_t version : {0x10006u, 0x20004u}) {
        KVSceneUnitsWriter units(version < 0x20000 ? 0x10003u : 0x20000u);
        fill(units, units.AddClass(KVSceneUnitsWriter::UnitClass()), version,
             version < 0x20000 ? 0x20000u : 0x30003u, version <= 0x20001);
        seeds.push_back(units.Scene(version, kFuzzProjectId));
    }
    return seeds;
}

} // namespace

std::vector<std::vector<uint8_t>> KVPlacedUnitsSeeds() {
    using kvtest::KVStored;
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    return TwoLayoutSeeds([&](KVSceneUnitsWriter& units, int32_t unit, uint32_t version, uint32_t record, bool old) {
        // Class ids and attribute ids of the 2D and 3D bases.
        KVSceneClassSpec unit2D{0x00379C696A716AA0ull, "Unit2D", unit,
                                {{0x001299DD27CDA4E8ull, 1, 2}, {0x003E41334C85C150ull, 1, 2},
                                 {0x000A4489162DAE5Dull, 14, 1}, {0x000E399B22082AABull, 2, 4},
                                 {0x0055C18D9ABD2938ull, 7, 1}, {0x0049F2DBC2523DBCull, 7, 2},
                                 {0x006D5D2135285A40ull, 2, 2}, {0x000C34CD10D7AF53ull, 2, 2},
                                 {0x004FA6980695016Cull, 12, 1}},
                                {}, -1};
        const int32_t entry2D = units.AddClass(unit2D);
        const int32_t display2D = units.AddClass({0x005BC7C54FB51660ull, "Display2D", entry2D,
                                                  {{0x00574C7F7C3AF3E4ull, 3, 1}, {0x0012989263931821ull, 9, 1}},
                                                  {}, -1});
        const int32_t entry3D = units.AddClass(Unit3DClass(unit));
        const int32_t display3D = units.AddClass({0x00440A9C1D3082F8ull, "Display3D", entry3D,
                                                  {{0x004643776AE9C288ull, 9, 1}, {0x000F56CEB34902EBull, 9, 1}},
                                                  {}, -1});

        std::vector<Bytes> values =
            KVSceneUnitsWriter::UnitValues("Flat2D", 0x601, {KVStored::Local(1)}, 0x12, true, version);
        for (const Bytes& v : {KVStored::F32s({nan, 1e38f}), KVStored::F32s({0.0f, inf}), KVStored::F32s({1e30f}),
                               KVStored::I32s({INT32_MIN, 0, INT32_MAX, 5}), Bytes{1}, Bytes{1, 1}, KVStored::I32s({INT32_MAX, -5}),
                               KVStored::I32s({INT32_MAX, INT32_MIN}), KVStored::Concat({KVStored::U32(2), KVStored::I32s({1, 2, -3, 4})})})
            values.push_back(v);
        units.AddUnit(entry2D, values).version = record;

        values = KVSceneUnitsWriter::UnitValues("Child2D", 0x602, {}, 0x12, true, version);
        for (const Bytes& v : {KVStored::F32s({-inf, 3.0f}), KVStored::F32s({-1e38f, 2.0f}), KVStored::F32s({nan}), KVStored::I32s({10, 10, 500, 500}),
                               Bytes{0}, Bytes{0, 1}, KVStored::I32s({40, 30}), KVStored::I32s({0, 0}), KVStored::U32(0),
                               KVStored::String("shaders/x.kvps", old), KVStored::Link(KVStored::Local(0), old)})
            values.push_back(v);
        units.AddUnit(display2D, values).version = record;

        values = KVSceneUnitsWriter::UnitValues("Placed3D", 0x603, {}, 0x12, true, version);
        for (const Bytes& v :
             {KVStored::F32s({inf, nan, -1e38f}), KVStored::F32s({nan, 1e30f, -inf}), KVStored::F32s({0.0f, 0.0f, 0.0f}), Bytes{1}})
            values.push_back(v);
        units.AddUnit(entry3D, values).version = record;

        values = KVSceneUnitsWriter::UnitValues("Shown3D", 0x604, {}, 0x12, true, version);
        for (const Bytes& v : {KVStored::F32s({1, 2, 3}), KVStored::F32s({0.5f, 0.5f, 0.5f}), KVStored::F32s({1, 1, 1}), Bytes{1},
                               KVStored::Link(KVStored::Local(2), old), KVStored::Link(0, old)})
            values.push_back(v);
        units.AddUnit(display3D, values).version = record;
    });
}

std::vector<std::vector<uint8_t>> KVListRingSeeds() {
    using kvtest::KVStored;
    return TwoLayoutSeeds([&](KVSceneUnitsWriter& units, int32_t unit, uint32_t version, uint32_t record, bool) {
        const int32_t entry2D = units.AddClass({0x00379C696A716AA0ull, "Unit2D", unit, {}, {}, -1});
        // Children by position in the file: a unit listing itself after
        // another list took it (0, 1); a parent listed after it took its
        // child (2, 3, 4); a unit listing the one that becomes its parent
        // further on (5, 6, 7); two trees whose lists cross (8 to 13).
        const std::vector<std::vector<uint32_t>> lists = {{1}, {1},    {3},  {4},  {3},  {7},  {7},
                                                          {6}, {9},    {13}, {11}, {12}, {9}, {11}};
        for (size_t i = 0; i < lists.size(); ++i) {
            std::vector<uint64_t> children;
            for (uint32_t position : lists[i]) children.push_back(KVStored::Local(position));
            units.AddUnit(entry2D, KVSceneUnitsWriter::UnitValues("Ring" + std::to_string(i), 0x700 + i, children,
                                                                  0x12, true, version))
                .version = record;
        }
    });
}

std::vector<std::vector<uint8_t>> KVViewUnitsSeeds() {
    using kvtest::KVStored;
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    return TwoLayoutSeeds([&](KVSceneUnitsWriter& units, int32_t unit, uint32_t version, uint32_t record, bool old) {
        const int32_t entry3D = units.AddClass(Unit3DClass(unit));
        // Active, Target, FOV, Near clip, Far clip, Orthogonal, Viewport,
        // ViewportExclusive, AutoClip, Up, AspectRatio.
        const int32_t camera = units.AddClass(
            {0x00316AFAD437A05Cull, "Camera", entry3D,
             {{0x003E899A5587FA00ull, 7, 1}, {0x0062B7618B0F87A4ull, 1, 3}, {0x00001FF904922A98ull, 1, 1},
              {0x00673241A2409224ull, 1, 1}, {0x00316CF8DF42B1B4ull, 1, 1}, {0x001F34DA3073418Bull, 7, 1},
              {0x000540698533131Bull, 2, 4}, {0x00551A4F5F5C2AE4ull, 7, 1}, {0x006510497F2BF158ull, 7, 1},
              {0x00077482C3ECCD19ull, 1, 3}, {0x00160028DD825C71ull, 1, 1}},
             {}, -1});
        // Ambient, Emissive, Specular, Shininess, ColorEnabled, ZBuffer,
        // ZBufferWrite, Fog, AlphaTest, AlphaBlend, AlphaRef,
        // BackfaceCulling, Trilinear, ColorWrite, PixelShader, VertexShader,
        // Active, Type, Antialiasing, Lighting.
        const int32_t shader = units.AddClass(
            {0x001BF2CDD8F931F4ull, "Shader", unit,
             {{0x0042037449D3E130ull, 8, 1}, {0x0007C219BED59B54ull, 8, 1}, {0x00206EACCA1C2DA0ull, 8, 1},
              {0x0044404B3F989C74ull, 1, 1}, {0x0033174311913D60ull, 7, 1}, {0x0011DBA5AEFA700Dull, 7, 1},
              {0x002BA1108C47B3CCull, 7, 1}, {0x0007CB434BEC8D47ull, 7, 1}, {0x003B511E116AE7B0ull, 7, 1},
              {0x006B791FA2FF2164ull, 7, 1}, {0x0068223EF5EDA184ull, 0, 1}, {0x000E7C0171E8663Eull, 7, 1},
              {0x00598B0927F58528ull, 7, 1}, {0x004E3A63D188F130ull, 7, 1}, {0x003152884846337Aull, 3, 1},
              {0x0023E3B3874ECD16ull, 3, 1}, {0x0008C785D0DA16A2ull, 5, 21}, {0x000ED6EF05BE0B6Aull, 11, 1},
              {0x001F38E67643D4D6ull, 7, 1}, {0x001E02C3B2EF6B55ull, 7, 1}},
             {}, -1});

        const struct {
            const char* name;
            Bytes position, target, fov, nearClip, farClip, orthogonal, viewport, up, aspect;
        } cameras[] = {
            {"Lost", KVStored::F32s({nan, inf, -1e38f}), KVStored::F32s({nan, 0, 0}), KVStored::F32s({0}), KVStored::F32s({0}), KVStored::F32s({0}), Bytes{0},
             KVStored::I32s({INT32_MIN, 0, INT32_MAX, 5}), KVStored::F32s({0, 0, 0}), KVStored::F32s({nan})},
            {"OnTarget", KVStored::F32s({0, 0, 10}), KVStored::F32s({0, 0, 10}), KVStored::F32s({3.14159265f}), KVStored::F32s({-1}), KVStored::F32s({-1}),
             Bytes{1}, KVStored::I32s({10, 10, 5, 5}), KVStored::F32s({inf, 1, 0}), KVStored::F32s({-inf})},
            {"Flat", KVStored::F32s({1e30f, -1e30f, 1e30f}), KVStored::F32s({0, 0, 0}), KVStored::F32s({1e30f}), KVStored::F32s({5}), KVStored::F32s({5}),
             Bytes{0}, KVStored::I32s({0, 0, 0, 0}), KVStored::F32s({0, 1, 0}), KVStored::F32s({1e-38f})},
            {"Square", KVStored::F32s({0, 10, 0}), KVStored::F32s({0, 0, 0}), KVStored::F32s({0.78f}), KVStored::F32s({1}), KVStored::F32s({100}), Bytes{1},
             KVStored::I32s({INT32_MAX, INT32_MAX, INT32_MIN, INT32_MIN}), KVStored::F32s({0, 1, 0}), KVStored::F32s({0})},
        };
        uint64_t uid = 0x701;
        for (const auto& c : cameras) {
            std::vector<Bytes> values = KVSceneUnitsWriter::UnitValues(c.name, uid++, {}, 0x12, true, version);
            for (const Bytes& v : {c.position, KVStored::F32s({0, 0, 0}), KVStored::F32s({1, 1, 1}), Bytes{1}, Bytes{1}, c.target,
                                   c.fov, c.nearClip, c.farClip, c.orthogonal, c.viewport, Bytes{0}, Bytes{1}, c.up,
                                   c.aspect})
                values.push_back(v);
            units.AddUnit(camera, values).version = record;
        }

        const struct {
            const char* name;
            uint32_t ambient;
            float shininess;
            uint32_t alphaRef;
            const char* pixel;
            const char* vertex;
            uint32_t active;
            uint32_t type;
        } shaders[] = {
            {"Half", 0x80FF0000u, nan, 0xFFFFFFFFu, "shaders/x.kvps", "", 0x00140000u, 7},
            {"Bare", 0u, -inf, 0, "", "/shaders/../../y.kvvs", 0xFFFFFFFFu, 1},
        };
        for (const auto& c : shaders) {
            std::vector<Bytes> values = KVSceneUnitsWriter::UnitValues(c.name, uid++, {}, 0x12, true, version);
            for (const Bytes& v :
                 {KVStored::U32(c.ambient), KVStored::U32(0xFF000000u), KVStored::U32(0x12345678u),
                  KVStored::F32s({c.shininess}), Bytes{0}, Bytes{1}, Bytes{0}, Bytes{1}, Bytes{1}, Bytes{0},
                  KVStored::U32(c.alphaRef), Bytes{0}, Bytes{1}, Bytes{1}, KVStored::String(c.pixel, old),
                  KVStored::String(c.vertex, old), KVStored::U32(c.active), KVStored::U32(c.type), Bytes{0}, Bytes{1}})
                values.push_back(v);
            units.AddUnit(shader, values).version = record;
        }
    });
}

std::vector<std::vector<uint8_t>> KVProjectFileSeeds() {
    std::vector<std::vector<uint8_t>> seeds;
    for (uint32_t version : {0x10001u, 0x10003u, 0x10004u, 0x10005u, 0x20000u}) {
        KVProjectFileWriter project(version, kFuzzProjectId);
        project.AddKvl("Scenes\\Menu.kvl").AddKvl("scenes/level1.kvl").AddKvl("../shared/hud.kvl");
        project.AddGroup("Menu", {0, 2}, true, "menu group").AddGroup("Level1", {1, 2}).AddGroup("", {});
        KVPropertiesBlockWriter properties(version);
        properties.AddString(0x0066B9570C13C898ull, "Sample").AddInteger(0x0062751D1B570038ull, 3).AddBoolean(
            0x002A07C50900B756ull, 1);
        project.Append(properties.Build());
        KVChunkWriter tail = project.TailWriter();
        if (version < 0x10002) tail.BeginChunk(7, 0x10000).ValueU32(1).EndChunk();
        tail.RawU32(0).RawU32(0).RawU32(0).RawU32(1);
        project.Append(tail.Data());
        seeds.push_back(project.Build());
    }
    seeds.push_back(KVProjectFileWriter(0x10005).Build());
    return seeds;
}

std::vector<std::vector<uint8_t>> KVSceneFileSeeds() {
    std::vector<std::vector<uint8_t>> seeds;
    for (uint32_t version : {0x10001u, 0x10006u, 0x10007u, 0x20000u, 0x20001u, 0x20004u}) {
        KVSceneFileWriter scene(version, kFuzzProjectId, false);
        if (version < 0x20000) {
            scene.BeginChunk(5, 0x10000).ValueU32(0).EndChunk();
            scene.BeginChunk(6, 0x10000).String("skipped").EndChunk();
        }
        scene.BeginChunk(1, 0x30000);
        scene.BeginChunk(2, 0x30003);
        scene.ValueU8(1).ValueU16(2).ValueI32(-3).ValueFloat(1.5f).ValueDouble(2.25).ValueU64(0x1122334455667788ull);
        scene.String("Unit").String(std::string("a\0b", 3)).String("");
        scene.UnitRef(0x42).UnitRefArray({1, 2, 3}).PointArray({{1, 2}, {-3, 4}}).StringList({"x", "", "yz"});
        scene.Block({1, 2, 3}).StringTable({{"a", {"b", "c"}}, {"d", {}}});
        scene.EndChunk();
        scene.BeginChunk(2, 0x30003).String("Second").EndChunk();
        scene.EndChunk();
        seeds.push_back(scene.Data());
    }
    for (std::vector<uint8_t>& seed : KVSceneUnitsSeeds()) seeds.push_back(std::move(seed));
    for (std::vector<uint8_t>& seed : KVPlacedUnitsSeeds()) seeds.push_back(std::move(seed));
    for (std::vector<uint8_t>& seed : KVViewUnitsSeeds()) seeds.push_back(std::move(seed));
    for (std::vector<uint8_t>& seed : KVListRingSeeds()) seeds.push_back(std::move(seed));
    return seeds;
}

int KVWriteSeeds(const char* dir) {
    const std::string base = dir ? dir : ".";
    int failures = 0;
    const auto write = [&](const std::string& folder, const std::vector<std::vector<uint8_t>>& seeds) {
        for (size_t i = 0; i < seeds.size(); ++i) {
            if (!KVChunkWriter::WriteFile(base + "/" + folder + "/seed" + std::to_string(i), seeds[i])) ++failures;
        }
    };
    write("KVProjectFileFuzz", KVProjectFileSeeds());
    write("KVSceneFileFuzz", KVSceneFileSeeds());
    write("KVSceneUnitsFuzz", KVSceneFileSeeds());
    return failures == 0 ? 0 : 1;
}

} // namespace kvtest
