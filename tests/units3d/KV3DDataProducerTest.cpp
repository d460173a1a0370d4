#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kernel/KVResources.h"
#include "support/KV3DDataDump.h"
#include "support/KV3DLoadHarness.h"
#include "support/KV3DWriter.h"
#include "support/KVTestLog.h"

using namespace kvl;
using kvtest::KV3DWriter;
using kvtest::KV3DWriterMesh;

namespace {

std::vector<uint8_t> HeaderOnly(uint8_t version = 1) {
    KV3DWriterMesh mesh;
    mesh.version = version;
    return KV3DWriter::Build(mesh);
}

class KV3DDataProducerTest : public ::testing::Test {
protected:
    // Loads and expects success; the data's reference is the test's.
    KV3DData* LoadGood(const std::vector<uint8_t>& bytes) {
        int32_t status = -1;
        KV3DData* data = h.Load(bytes, "mesh.kv3d", &status);
        EXPECT_EQ(status, 0);
        EXPECT_NE(data, nullptr);
        EXPECT_EQ(h.files.OpenHandles(), 0);
        return data;
    }
    std::string Records(const std::vector<uint8_t>& bytes) {
        KV3DData* data = LoadGood(bytes);
        if (!data) return std::string();
        std::string text = kvtest::DumpRecords(*data);
        data->Release();
        return text;
    }
    // A failed load: result 1, one error line "message (mesh.kv3d)" when a
    // message is given (else any one line), the file closed, nothing left.
    void ExpectRefused(const std::vector<uint8_t>& bytes, const std::string& message, const std::string& what) {
        log.Clear();
        int32_t status = -1;
        KV3DData* data = h.Load(bytes, "mesh.kv3d", &status);
        EXPECT_EQ(status, 1) << what;
        EXPECT_EQ(data, nullptr) << what;
        if (data) data->Release();
        ASSERT_EQ(log.Lines().size(), 1u) << what;
        EXPECT_EQ(log.Lines()[0].level, KVLOG_ERROR) << what;
        if (!message.empty()) {
            EXPECT_EQ(log.Lines()[0].text, message + " (mesh.kv3d)") << what;
        }
        EXPECT_NE(log.Lines()[0].text.find(" (mesh.kv3d)"), std::string::npos) << what;
        EXPECT_EQ(h.files.OpenHandles(), 0) << what;
        EXPECT_EQ(h.device.LiveBuffers(), 0) << what;
    }

    kvtest::KVTestLog log;
    kvtest::KV3DLoadHarness h;
};

// Reads through the engine's reader without being it, so the producer
// cannot ask how long the file is and must rely on what each read gives.
class ForwardingReader : public IKVResourceReader {
public:
    explicit ForwardingReader(IKVResourceReader* inner) : m_inner(inner) {}
    int32_t Open(const char* path, void** out) override { return m_inner->Open(path, out); }
    int32_t Close(void* h) override { return m_inner->Close(h); }
    int32_t Read(void* h, void* buffer, uint32_t size) override { return m_inner->Read(h, buffer, size); }
    const char* GetExtension() override { return m_inner->GetExtension(); }
    const char* GetExtensions() override { return nullptr; }

private:
    IKVResourceReader* m_inner;
};

} // namespace

TEST_F(KV3DDataProducerTest, ReaderTakesMeshFilesOnly) {
    EXPECT_STREQ(h.reader.GetExtension(), "kv3d");
    EXPECT_EQ(h.reader.GetExtensions(), nullptr);
    void* out = &h;
    EXPECT_EQ(h.reader.QueryInterface(IID_IKVFile, &out), 2);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(h.producer.NeedsRebuild(nullptr), 0);
}

TEST_F(KV3DDataProducerTest, HeaderOnlyFileIsEmptyData) {
    KV3DData* data = LoadGood(HeaderOnly());
    ASSERT_NE(data, nullptr);
    EXPECT_TRUE(data->submeshes.empty());
    EXPECT_TRUE(data->nodes.empty());
    EXPECT_TRUE(data->nodeChannels.empty() && data->submeshChannels.empty() && data->lights.empty());
    EXPECT_EQ(data->boxMin[0], -1.0f);
    EXPECT_EQ(data->boxMax[2], 1.0f);
    EXPECT_EQ(data->sphere[3], 0.0f);
    EXPECT_EQ(data->resident, 0);
    EXPECT_STREQ(data->GetName(), "mesh.kv3d");
    EXPECT_EQ(data->GetType(), 0);
    EXPECT_EQ(data->IsManaged(), 1);
    EXPECT_EQ(data->GetRefCount(), 1);
    EXPECT_TRUE(log.Lines().empty());
    // No geometry: the device is not asked anything.
    EXPECT_TRUE(h.device.Calls().empty());
    data->Release();
}

TEST_F(KV3DDataProducerTest, CreateResourceClearsTheSizeAndKeepsTheKeepFlag) {
    h.files.SetFile("mesh.kv3d", HeaderOnly());
    IKVResource* made = nullptr;
    int32_t managed = 1;
    uint32_t size = 99;
    ASSERT_EQ(h.producer.CreateResource("mesh.kv3d", &h.reader, &made, &managed, &size), 0);
    EXPECT_EQ(size, 0u);
    EXPECT_EQ(managed, 1);
    made->Release();
}

TEST_F(KV3DDataProducerTest, VersionZeroReadsAsVersionOne) {
    KV3DWriterMesh mesh = KV3DWriter::FullMesh(4);
    const std::string one = Records(KV3DWriter::Build(mesh));
    mesh.version = 0;
    EXPECT_EQ(Records(KV3DWriter::Build(mesh)), one);
    EXPECT_EQ(h.producer.GetVersion(), 0u);
    EXPECT_EQ(h.producer.GetAlignment(), 4u);
}

TEST_F(KV3DDataProducerTest, HeaderChecksRefuseTheFile) {
    std::vector<uint8_t> reversed = HeaderOnly();
    reversed[0] = 'D';
    reversed[1] = '3';
    reversed[2] = 'V';
    reversed[3] = 'K';
    std::vector<uint8_t> wrong = HeaderOnly();
    wrong[3] = 'X';
    std::vector<uint8_t> alignmentZero = HeaderOnly();
    alignmentZero[5] = 0;
    const std::vector<uint8_t> header = HeaderOnly();
    std::vector<uint8_t> alignmentSix = HeaderOnly();
    alignmentSix[5] = 6;
    const struct {
        const char* what;
        std::vector<uint8_t> bytes;
        const char* message;
    } cases[] = {
        {"version 2", HeaderOnly(2), "File version is too high"},
        {"version 255", HeaderOnly(255), "File version is too high"},
        {"reversed magic", reversed, "Not a mesh file"},
        {"wrong magic", wrong, "Not a mesh file"},
        {"alignment 0", alignmentZero, "Invalid alignment"},
        {"alignment 6", alignmentSix, "Invalid alignment"},
        {"empty file", {}, "File is truncated"},
        {"short header", std::vector<uint8_t>(header.begin(), header.begin() + 20), "File is truncated"},
    };
    for (const auto& c : cases) ExpectRefused(c.bytes, c.message, c.what);
}

TEST_F(KV3DDataProducerTest, FileThatCannotBeOpenedFailsWithoutMessage) {
    IKVResource* made = nullptr;
    int32_t managed = 1;
    uint32_t size = 0;
    EXPECT_EQ(h.producer.CreateResource("missing.kv3d", &h.reader, &made, &managed, &size), 1);
    EXPECT_EQ(made, nullptr);
    EXPECT_TRUE(log.Lines().empty());
}

TEST_F(KV3DDataProducerTest, AlignmentsOneFourAndSixteenGiveTheSameRecords) {
    const std::string one = Records(KV3DWriter::Build(KV3DWriter::FullMesh(1)));
    EXPECT_EQ(Records(KV3DWriter::Build(KV3DWriter::FullMesh(4))), one);
    EXPECT_EQ(Records(KV3DWriter::Build(KV3DWriter::FullMesh(16))), one);
    // The layouts differ: sixteen pads where one packs.
    EXPECT_LT(KV3DWriter::Build(KV3DWriter::FullMesh(1)).size(), KV3DWriter::Build(KV3DWriter::FullMesh(16)).size());
}

// Every field lands where it belongs: the file's specular comes before its
// emissive, the light's range is its last attenuation value in the file
// and its first in memory.
TEST_F(KV3DDataProducerTest, FullMeshFieldsReachTheirRecords) {
    KV3DData* data = LoadGood(KV3DWriter::Build(KV3DWriter::FullMesh(4)));
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(data->boxMin[0], -2.5f);
    EXPECT_EQ(data->boxMax[2], 4.0f);

    ASSERT_EQ(data->partMaterials.size(), 2u);
    const KV3DPartMaterial& body = data->partMaterials[0];
    EXPECT_EQ(body.name, "body");
    EXPECT_EQ(body.material.diffuse[0], 0.5f);
    EXPECT_EQ(body.material.ambient[1], 0.25f);
    EXPECT_EQ(body.material.specular[2], 0.75f);
    EXPECT_EQ(body.material.emissive[3], 0.125f);
    EXPECT_EQ(body.material.shininess, 8.0f);
    EXPECT_EQ(body.material.backfaceCulling, 0u);
    EXPECT_EQ(body.material.textureCount, 0u);
    EXPECT_EQ(body.material.overrideFlags, 0xFFFFFFFFu);
    EXPECT_EQ(body.material.lighting, 1);
    const KV3DPartMaterial& glass = data->partMaterials[1];
    EXPECT_EQ(glass.material.type, 1u);
    EXPECT_EQ(glass.material.alphaTest, 1);
    EXPECT_EQ(glass.material.alphaBlend, 1);
    EXPECT_EQ(glass.material.textureCount, 3u);
    ASSERT_EQ(glass.textures.size(), 3u);
    EXPECT_EQ(glass.textures[2].file, "glass_s.png");
    EXPECT_EQ(glass.textures[2].word, 0u);
    EXPECT_EQ(data->blendShapeNames, (std::vector<std::string>{"smile", "blink"}));

    ASSERT_EQ(data->submeshes.size(), 2u);
    const KV3DSubmesh& skin = data->submeshes[0];
    EXPECT_EQ(skin.name, "skin");
    EXPECT_EQ(skin.index, 0u);
    EXPECT_EQ(skin.parentNode, -1);
    EXPECT_EQ(skin.matrix[0], 1.0f);
    EXPECT_EQ(skin.matrix[12], 0.0f);
    EXPECT_EQ(skin.stride, 64u);
    EXPECT_EQ(skin.weightsPerVertex, 3u);
    EXPECT_EQ(skin.hasJoints, 1);
    EXPECT_EQ(skin.hasTangents, 1);
    ASSERT_EQ(skin.bones.size(), 2u);
    EXPECT_EQ(skin.bones[0].inverseBind[12], 1.0f);
    EXPECT_EQ(skin.bones[1].inverseBind[13], -2.0f);
    EXPECT_EQ(skin.bones[1].node, 1u);
    ASSERT_EQ(skin.blendShapes.size(), 2u);
    EXPECT_EQ(skin.blendShapes[0].nameIndex, 1u);
    ASSERT_NE(skin.blendShapes[1].offsets, nullptr);
    EXPECT_EQ(KV3DReadFloat(skin.blendShapes[1].offsets, 3), 51.5f);
    ASSERT_EQ(skin.parts.size(), 1u);
    EXPECT_EQ(skin.parts[0].indexCount, 6u);
    EXPECT_EQ(skin.parts[0].indexKind, 1u);
    EXPECT_EQ(skin.parts[0].indexDataSize, 12u);
    ASSERT_NE(skin.parts[0].indexData, nullptr);
    EXPECT_EQ(skin.parts[0].indexData[10], 3);
    ASSERT_NE(skin.vertexData, nullptr);
    EXPECT_EQ(KV3DReadFloat(skin.vertexData + 64, 1), 2.0f);

    const KV3DSubmesh& plain = data->submeshes[1];
    EXPECT_EQ(plain.stride, 40u);
    EXPECT_EQ(KV3DReadU32(plain.vertexData + 2 * 40, 6), 0xFF000002u);
    ASSERT_EQ(plain.parts.size(), 2u);
    EXPECT_EQ(plain.parts[1].materialIndex, 1u);
    EXPECT_EQ(plain.parts[1].transparent, 1);
    EXPECT_EQ(plain.parts[1].indexData[0], 2);

    EXPECT_EQ(data->rate, 24u);
    EXPECT_EQ(data->frames, 10u);
    EXPECT_EQ(data->rootMotion, 3u);
    EXPECT_EQ(data->rootRotation.z, 0.5f);
    EXPECT_EQ(data->rootRotation.w, 1.0f);
    EXPECT_EQ(data->rootTranslation.x, 3.0f);
    EXPECT_EQ(data->rootScale.y, 2.0f);
    ASSERT_EQ(data->nodeChannels.size(), 1u);
    const KV3DChannel& root = data->nodeChannels[0];
    EXPECT_EQ(root.name, "root");
    EXPECT_EQ(root.rotationCount, 2u);
    EXPECT_EQ(KV3DReadU32(root.rotationTimes, 1), 9u);
    EXPECT_EQ(KV3DReadFloat(root.rotations, 5), 0.7071f);
    EXPECT_EQ(KV3DReadU32(root.translationTimes), 5u);
    EXPECT_EQ(KV3DReadFloat(root.translations, 2), 3.0f);
    EXPECT_EQ(KV3DReadFloat(root.scales, 0), 1.0f);
    ASSERT_EQ(data->submeshChannels.size(), 1u);
    EXPECT_EQ(data->submeshChannels[0].name, "plain");
    EXPECT_EQ(KV3DReadFloat(data->submeshChannels[0].translations, 5), 6.0f);
    ASSERT_EQ(data->pairLists.size(), 1u);
    EXPECT_EQ(data->pairLists[0].count, 3u);
    EXPECT_EQ(data->pairLists[0].pairs[23], 23);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(data->pairLists[0].name)), "pairs");
    EXPECT_TRUE(data->events.empty());

    ASSERT_EQ(data->attachments.size(), 2u);
    EXPECT_EQ(data->attachments[0].name, "hand");
    EXPECT_EQ(data->attachments[0].matrix[12], 7.0f);
    ASSERT_EQ(data->cameras.size(), 2u);
    EXPECT_EQ(data->cameras[1].name, "far");
    EXPECT_EQ(data->cameras[1].fov, 1.2f);
    EXPECT_EQ(data->cameras[1].target.y, 9.0f);
    EXPECT_EQ(data->cameras[0].position.x, 1.0f);
    ASSERT_EQ(data->curves.size(), 2u);
    EXPECT_EQ(data->curves[0].word, 0x1234u);
    ASSERT_EQ(data->curves[1].points.size(), 3u);
    EXPECT_EQ(data->curves[1].points[1].t, 0.5f);
    ASSERT_EQ(data->lights.size(), 2u);
    const KV3DLightRecord& sun = data->lights[0];
    EXPECT_EQ(sun.name, "sun");
    EXPECT_EQ(sun.params.color, 0xFFFFEE00u);
    EXPECT_EQ(sun.params.specular, 0xFF101010u);
    EXPECT_EQ(sun.params.ambient, 0xFF202020u);
    EXPECT_EQ(sun.params.range, 100.0f);
    EXPECT_EQ(sun.params.constantAttenuation, 0.5f);
    EXPECT_EQ(sun.params.linearAttenuation, 0.25f);
    EXPECT_EQ(sun.params.quadraticAttenuation, 0.125f);
    EXPECT_EQ(sun.params.normalMapCaster, 0);
    EXPECT_EQ(data->lights[1].position.y, 3.0f);
    data->Release();
}

// Material records are 128 + 32 T bytes, and a submesh record as long as
// its size field says, so the records after them are found.
TEST_F(KV3DDataProducerTest, RecordLengthsPlaceTheNextRecord) {
    KV3DWriterMesh mesh;
    mesh.hasGeometry = true;
    for (size_t t : {0u, 1u, 3u}) {
        kvtest::KV3DWriterMaterial m;
        m.name = "m" + std::to_string(t);
        for (size_t i = 0; i < t; ++i) m.textures.push_back("t" + std::to_string(i) + ".png");
        m.shininess = float(t);
        mesh.materials.push_back(m);
    }
    mesh.submeshes = {KV3DWriter::PlainSubmesh("a", 3, {0, 1, 2}, 2), KV3DWriter::PlainSubmesh("b", 4, {3, 2, 1}, 1)};
    const std::string plain = Records(KV3DWriter::Build(mesh));
    mesh.submeshes[0].extraRecordBytes = 24;
    const std::string padded = Records(KV3DWriter::Build(mesh));
    EXPECT_EQ(padded, plain);

    KV3DData* data = LoadGood(KV3DWriter::Build(mesh));
    ASSERT_NE(data, nullptr);
    ASSERT_EQ(data->partMaterials.size(), 3u);
    EXPECT_EQ(data->partMaterials[1].textures.size(), 1u);
    EXPECT_EQ(data->partMaterials[2].name, "m3");
    EXPECT_EQ(data->partMaterials[2].material.shininess, 3.0f);
    ASSERT_EQ(data->submeshes.size(), 2u);
    EXPECT_EQ(data->submeshes[1].name, "b");
    EXPECT_EQ(data->submeshes[1].vertexCount, 4u);
    EXPECT_EQ(data->GetPartMaterial(data->submeshes[1].parts[0]), &data->partMaterials[1]);
    data->Release();
}

// A curve block is passed over by its size even when the header counts no
// curve: the lights after it are read from their place.
TEST_F(KV3DDataProducerTest, CurveBlockWithoutCurvesIsPassedOver) {
    std::vector<uint8_t> bytes = KV3DWriter::Build(KV3DWriter::FullMesh(4));
    bytes[10] = 0;
    KV3DData* data = LoadGood(bytes);
    ASSERT_NE(data, nullptr);
    EXPECT_TRUE(data->curves.empty());
    ASSERT_EQ(data->lights.size(), 2u);
    EXPECT_EQ(data->lights[0].name, "sun");
    EXPECT_EQ(data->lights[0].params.range, 100.0f);
    data->Release();
}

// Name fields filled to their last byte are read within the field.
TEST_F(KV3DDataProducerTest, NamesWithoutAZeroByteStopAtTheirField) {
    KV3DWriterMesh mesh = KV3DWriter::FullMesh(4);
    const std::string long32(40, 'n'), long48(60, 'm');
    mesh.materials[1].name = long48;
    mesh.materials[1].textures[0] = long32;
    mesh.blendShapeNames[0] = long32;
    mesh.submeshes[0].name = long32;
    mesh.animation.entries[0].name = long32;
    mesh.attachments[0].name = long32;
    mesh.cameras[0].name = long32;
    mesh.curves[0].name = long32;
    mesh.lights[1].name = long32;
    KV3DData* data = LoadGood(KV3DWriter::Build(mesh));
    ASSERT_NE(data, nullptr);
    const std::string cut32(32, 'n');
    EXPECT_EQ(data->partMaterials[1].name, std::string(48, 'm'));
    EXPECT_EQ(data->partMaterials[1].textures[0].file, cut32);
    EXPECT_EQ(data->blendShapeNames[0], cut32);
    EXPECT_EQ(data->submeshes[0].name, cut32);
    EXPECT_EQ(data->nodeChannels[0].name, cut32);
    EXPECT_EQ(data->attachments[0].name, cut32);
    EXPECT_EQ(data->cameras[0].name, cut32);
    EXPECT_EQ(data->curves[0].name, cut32);
    EXPECT_EQ(data->lights[1].name, cut32);
    data->Release();
}

// A file that passes the header checks loads even when a part's material
// index is past the material records (a file with no materials at all) or
// a blend shape's name index is past the names: the indices are kept, and
// such a part has no material of its own.
TEST_F(KV3DDataProducerTest, PartsAndShapesNamingNothingLoad) {
    KV3DWriterMesh noMaterials = KV3DWriter::FullMesh(4);
    noMaterials.materials.clear();
    KV3DWriterMesh pastMaterials = KV3DWriter::FullMesh(4);
    pastMaterials.submeshes[1].parts[1].material = 7;
    KV3DWriterMesh pastNames = KV3DWriter::FullMesh(4);
    pastNames.submeshes[0].shapes[1].nameIndex = 9;
    KV3DWriterMesh noNames = KV3DWriter::FullMesh(4);
    noNames.blendShapeNames.clear();
    const struct {
        const char* name;
        const KV3DWriterMesh& mesh;
    } cases[] = {
        {"no materials", noMaterials},
        {"material index past the list", pastMaterials},
        {"blend shape name index past the list", pastNames},
        {"no blend shape names", noNames},
    };
    for (uint32_t caps : {0u, 0x173u}) {
        h.device.makeBuffers = true;
        h.device.caps3D = caps;
        for (const auto& c : cases) {
            for (uint8_t alignment : {1, 4, 16}) {
                SCOPED_TRACE(std::string(c.name) + ", caps " + std::to_string(caps) + ", alignment " +
                             std::to_string(alignment));
                KV3DWriterMesh mesh = c.mesh;
                mesh.alignment = alignment;
                log.Clear();
                KV3DData* data = LoadGood(KV3DWriter::Build(mesh));
                ASSERT_NE(data, nullptr);
                EXPECT_TRUE(log.Lines().empty());
                EXPECT_EQ(data->partMaterials.size(), mesh.materials.size());
                EXPECT_EQ(data->blendShapeNames.size(), mesh.blendShapeNames.size());
                ASSERT_EQ(data->submeshes.size(), mesh.submeshes.size());
                for (size_t i = 0; i < mesh.submeshes.size(); ++i) {
                    const KV3DSubmesh& s = data->submeshes[i];
                    ASSERT_EQ(s.parts.size(), mesh.submeshes[i].parts.size());
                    for (size_t p = 0; p < s.parts.size(); ++p) {
                        const uint32_t index = mesh.submeshes[i].parts[p].material;
                        EXPECT_EQ(s.parts[p].materialIndex, index);
                        EXPECT_EQ(data->GetPartMaterial(s.parts[p]),
                                  index < mesh.materials.size() ? &data->partMaterials[index] : nullptr);
                    }
                    ASSERT_EQ(s.blendShapes.size(), mesh.submeshes[i].shapes.size());
                    for (size_t k = 0; k < s.blendShapes.size(); ++k)
                        EXPECT_EQ(s.blendShapes[k].nameIndex, mesh.submeshes[i].shapes[k].nameIndex);
                }
                EXPECT_EQ(data->lights.size(), 2u);  // the rest of the file was read
                data->Release();
                EXPECT_EQ(h.device.LiveBuffers(), 0);
            }
        }
    }
}

TEST_F(KV3DDataProducerTest, BrokenFilesAreRefusedWithOneLine) {
    h.device.makeBuffers = true;
    h.device.caps3D = 0x173;
    for (uint8_t alignment : {1, 4, 16}) {
        for (const auto& [what, bytes] : KV3DWriter::BrokenVariants(alignment))
            ExpectRefused(bytes, "", what + " at alignment " + std::to_string(alignment));
    }
}

// A file cut short anywhere is refused, whether the reader can tell the
// file's length up front or only each read's result.
TEST_F(KV3DDataProducerTest, FileCutAtEveryOffsetIsRefused) {
    h.device.makeBuffers = true;
    h.device.caps3D = 0x173;
    ForwardingReader forwarding(&h.reader);
    const std::vector<uint8_t> whole = KV3DWriter::Build(KV3DWriter::FullMesh(4));
    for (IKVResourceReader* reader : {static_cast<IKVResourceReader*>(&h.reader), static_cast<IKVResourceReader*>(&forwarding)}) {
        for (size_t length = 0; length < whole.size(); ++length) {
            log.Clear();
            h.files.SetFile("cut.kv3d", std::vector<uint8_t>(whole.begin(), whole.begin() + long(length)));
            IKVResource* made = nullptr;
            int32_t managed = 1;
            uint32_t size = 0;
            ASSERT_EQ(h.producer.CreateResource("cut.kv3d", reader, &made, &managed, &size), 1) << length;
            EXPECT_EQ(made, nullptr);
            ASSERT_EQ(log.Lines().size(), 1u) << length;
            EXPECT_EQ(log.Lines()[0].text, "File is truncated (cut.kv3d)") << length;
            EXPECT_EQ(h.files.OpenHandles(), 0);
            EXPECT_EQ(h.device.LiveBuffers(), 0) << length;
        }
    }
}

// Loaded through the resource manager: one path gives one object, and data
// that eviction emptied is read again at its next use, in the same object,
// keeping the events mesh instances added.
class KV3DDataManagedTest : public KV3DDataProducerTest {
protected:
    void SetUp() override {
        resources.SetFileInterface(&h.files);
        resources.SetEditorModeOverride(false);
        resources.Init(0);
        resources.Init(2);
        ASSERT_EQ(KV3DFileReader::Register(&resources, &h.files), 0);
        h.files.SetFile("meshes/hero.kv3d", KV3DWriter::Build(KV3DWriter::FullMesh(4)));
    }
    KV3DData* Load(const char* path) {
        IKVResource* out = nullptr;
        resources.Load(path, &h.producer, nullptr, &out, 0);
        return static_cast<KV3DData*>(out);
    }

    KVResources resources;
};

TEST_F(KV3DDataManagedTest, OnePathGivesOneObject) {
    KV3DData* a = Load("meshes/hero.kv3d");
    ASSERT_NE(a, nullptr);
    KV3DData* b = Load("meshes/HERO.kv3d");
    EXPECT_EQ(a, b);
    EXPECT_EQ(a->GetRefCount(), 2);
    EXPECT_EQ(h.files.OpenCount(), 1);
    EXPECT_EQ(h.device.Count("GetCaps3D"), 1u);
    EXPECT_NE(a->GetManagerIndex(), -1);
    b->Release();
    a->Release();
    EXPECT_EQ(resources.GetManagedCount(), 0u);
}

TEST_F(KV3DDataManagedTest, EvictedDataIsReadAgainAtItsNextUse) {
    h.device.makeBuffers = true;
    h.device.caps3D = 0x2;
    KV3DData* data = Load("meshes/hero.kv3d");
    ASSERT_NE(data, nullptr);
    const std::string loaded = kvtest::DumpRecords(*data);
    data->events.push_back({0, "step", 0.5f, 7});
    const int buffers = h.device.LiveBuffers();
    EXPECT_GT(buffers, 0);

    EXPECT_EQ(resources.FreeAllOfType(KVRESOURCE_TEXTURE), 0);
    EXPECT_TRUE(data->submeshes.empty());
    EXPECT_TRUE(data->partMaterials.empty());
    EXPECT_EQ(data->GetGeometryBlock(), nullptr);
    EXPECT_EQ(data->resident, 0);
    EXPECT_EQ(h.device.LiveBuffers(), 0);
    ASSERT_EQ(data->events.size(), 1u);

    EXPECT_EQ(resources.Touch(data), 0);
    EXPECT_EQ(kvtest::DumpRecords(*data), loaded);
    EXPECT_EQ(h.device.LiveBuffers(), buffers);
    ASSERT_EQ(data->events.size(), 1u);
    EXPECT_EQ(data->events[0].name, "step");
    EXPECT_EQ(resources.FindLoaded("meshes/hero.kv3d"), data);
    data->Release();
    EXPECT_EQ(h.device.LiveBuffers(), 0);
}

TEST_F(KV3DDataManagedTest, BrokenFileFailsTheLoad) {
    h.files.SetFile("meshes/bad.kv3d", HeaderOnly(2));
    EXPECT_EQ(Load("meshes/bad.kv3d"), nullptr);
    EXPECT_TRUE(log.Contains("File version is too high (meshes/bad.kv3d)", KVLOG_ERROR));
    EXPECT_EQ(resources.GetManagedCount(), 0u);
}
