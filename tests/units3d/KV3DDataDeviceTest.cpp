#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/KV3DLoadHarness.h"
#include "support/KV3DWriter.h"
#include "support/KVGLDeviceTest.h"

using namespace kvl;
using kvtest::KV3DWriter;

namespace {

class KV3DDataDeviceTest : public kvtest::KVGLDeviceTest {};

} // namespace

// The engine's own device answers 0 and makes no buffer: every mesh file
// loads, keeps its geometry in memory and draws nothing.
TEST_F(KV3DDataDeviceTest, EveryFixtureLoadsOnTheEnginesDevice) {
    ASSERT_TRUE(OpenDevice(64, 48));
    kvtest::KV3DLoadHarness h;
    h.producer.SetDevice(&Device());
    kvtest::KV3DWriterMesh plain;
    plain.hasGeometry = true;
    plain.materials.resize(1);
    plain.submeshes = {KV3DWriter::PlainSubmesh("quad", 4, {0, 1, 2, 2, 1, 3})};
    std::vector<std::pair<std::string, std::vector<uint8_t>>> fixtures = {
        {"header only", KV3DWriter::Build(kvtest::KV3DWriterMesh())},
        {"plain", KV3DWriter::Build(plain)},
    };
    for (uint8_t alignment : {1, 4, 16})
        fixtures.emplace_back("full at " + std::to_string(alignment), KV3DWriter::Build(KV3DWriter::FullMesh(alignment)));
    for (const auto& [what, bytes] : fixtures) {
        int32_t status = -1;
        KV3DData* data = h.Load(bytes, "mesh.kv3d", &status);
        ASSERT_EQ(status, 0) << what;
        ASSERT_NE(data, nullptr) << what;
        EXPECT_EQ(data->caps, 0u) << what;
        for (const KV3DSubmesh& s : data->submeshes) {
            EXPECT_EQ(s.vertexBuffer, nullptr) << what;
            EXPECT_NE(s.vertexData, nullptr) << what;
            EXPECT_EQ(s.vertexFormat, 0u) << what;
            for (const KV3DPart& p : s.parts) {
                EXPECT_EQ(p.indexBuffer, nullptr) << what;
                EXPECT_NE(p.indexData, nullptr) << what;
            }
        }
        if (!data->submeshes.empty()) {
            EXPECT_EQ(data->resident, 1) << what;
        }
        EXPECT_EQ(data->deviceBytes, 0u) << what;
        data->Release();
    }
    EXPECT_TRUE(Log().Errors().empty());
}
