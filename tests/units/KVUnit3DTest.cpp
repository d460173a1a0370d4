// The 3D unit base: the world matrix of the attributes against a product
// made here, pushes into the 3D object and pulls back without bouncing, the
// enable pass, copies of another object's transform, attachment to mesh
// nodes and the follow step with its Euler angles, the draw item of
// AutoClipped, the script methods, and the displayed 3D base.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <type_traits>
#include <vector>

#include "graphics/KVGraphic.h"
#include "graphics/KVResourceTexture.h"
#include "support/KVAttributeTableCheck.h"
#include "support/KVSceneRig.h"
#include "support/KVTestCoreHost.h"
#include "support/KVTestNodeMesh.h"
#include "support/KVTestObject3D.h"
#include "support/KVTestUnits.h"
#include "units/IKVMeshNodes.h"
#include "units3d/IKVMesh.h"
#include "units/IKVUnitRef.h"
#include "units/KVUnit3D.h"
#include "units/KVUnitDisplay3D.h"
#include "units/KVUnitFactory.h"

using namespace kvl;
using namespace kvtest;

namespace {

constexpr double kPi = 3.14159265358979323846;

// The 3D module's mesh instances are what mesh units answer IID_IKVMesh with.
static_assert(std::is_base_of<IKVMeshNodes, IKVMesh>::value, "a mesh instance gives its nodes");

// Column-major 4x4 products in double precision.
using Matrix = std::vector<double>;

Matrix Product(const Matrix& a, const Matrix& b) {
    Matrix out(16, 0.0);
    for (int c = 0; c < 4; ++c)
        for (int r = 0; r < 4; ++r)
            for (int k = 0; k < 4; ++k) out[size_t(4 * c + r)] += a[size_t(4 * k + r)] * b[size_t(4 * c + k)];
    return out;
}

Matrix Identity() {
    Matrix m(16, 0.0);
    m[0] = m[5] = m[10] = m[15] = 1.0;
    return m;
}

// Rotation about one axis (0 x, 1 y, 2 z) by a, right-handed.
Matrix Turn(int axis, double a) {
    Matrix m = Identity();
    const int i = (axis + 1) % 3, j = (axis + 2) % 3;
    m[size_t(4 * i + i)] = std::cos(a);
    m[size_t(4 * i + j)] = std::sin(a);
    m[size_t(4 * j + i)] = -std::sin(a);
    m[size_t(4 * j + j)] = std::cos(a);
    return m;
}

class KVUnit3DTest : public ::testing::Test {
protected:
    void SetUp() override { RegisterTestMeshClass(); }

    KVUnit3D* Make(const char* name, const char* className = "Unit3D") {
        return rig.Make<KVUnit3D>(className, name);
    }
    // A 3D unit with a test object of its own.
    KVUnit3D* WithObject(const char* name, KVTestObject3D** object) {
        KVUnit3D* unit = Make(name);
        *object = new KVTestObject3D;
        unit->SetObject3D(*object);
        (*object)->calls.clear();
        return unit;
    }
    KVTestNodeMeshUnit* Mesh(const char* name) { return rig.Make<KVTestNodeMeshUnit>("TestMesh", name); }
    void Set(KVUnit* unit, uint64_t id, int32_t element, const std::string& text) {
        rig.Factory().SetAttributeText(unit->GetIndex(), rig.Factory().FindAttributePosition(unit->GetClassIndex(), id),
                                       element, text, false);
    }
    // The rotation the follow step gives the object for a node rotation
    // (mesh and bind transforms are the identity).
    std::vector<float> FollowedAngles(const KV3DQuaternion& q) {
        KVTestNodeMeshUnit* mesh = Mesh("Body");
        NodeTransform node;
        node.rotation = q;
        mesh->Mesh()->AddNode("hand", node);
        KVTestObject3D* object = nullptr;
        KVUnit3D* unit = WithObject("Mover", &object);
        EXPECT_EQ(unit->AttachToMesh(mesh, "hand"), KV_OK);
        unit->Update(0.0f);
        std::vector<float> angles(object->rotation, object->rotation + 3);
        unit->Release();
        mesh->Release();
        return angles;
    }
    std::vector<std::string> ScriptReports(const std::string& code) {
        KVTestCoreHost::Errors().clear();
        std::string error;
        EXPECT_TRUE(rig.Host().Run(code, &error)) << error;
        std::vector<std::string> out;
        out.swap(KVTestCoreHost::Errors());
        return out;
    }

    KVSceneRig rig;
};

// Scene files name the transform of every 3D unit and the shader and
// render target of every drawn one by these ids; the transform is applied
// in the enable pass's phase 1.
TEST(KVUnit3DClassTest, AttributesOfClassesUnit3DAndDisplay3DKeepTheirIdsTypesAndFlags) {
    KVTestUnits units;
    const KVUnitClass* unit3D = units.Factory().GetClass(units.ClassIndex("Unit3D"));
    const KVUnitClass* display3D = units.Factory().GetClass(units.ClassIndex("Display3D"));
    ASSERT_NE(unit3D, nullptr);
    ASSERT_NE(display3D, nullptr);
    EXPECT_EQ(unit3D->id, 0x001BFA31A4A1E5E8ull);
    EXPECT_EQ(unit3D->description, "Base class for 3D unit classes");
    EXPECT_EQ(unit3D->baseClass, units.ClassIndex("Unit"));
    EXPECT_EQ(display3D->id, 0x00440A9C1D3082F8ull);
    EXPECT_EQ(display3D->description, "Base class for unit classes rendered in 3D");
    EXPECT_EQ(display3D->baseClass, units.ClassIndex("Unit3D"));
    constexpr KVAttributeCallback NONE = KVAttributeCallback::NONE, CHANGED = KVAttributeCallback::CHANGED;
    ExpectAttributeTable(*unit3D, 19, {
        {"Position~X~Y~Z", 1, 3, 0x006DC45310AD9600ull, "111100000000", CHANGED, "", 0},
        {"Rotation~X~Y~Z", 14, 3, 0x005AB8D010EF8FA0ull, "111100000000", CHANGED, "", 0},
        {"Scale~X~Y~Z", 1, 3, 0x0001C21774263F56ull, "111100000000", CHANGED, "", 0},
        {"AutoClipped", 7, 1, 0x0053D5119F1CF8F0ull, "111000000000", NONE, "", 0},
    });
    ExpectAttributeTable(*display3D, 23, {
        {"Shader", 9, 1, 0x004643776AE9C288ull, "111000000000", CHANGED, "", 0},
        {"RenderTarget", 9, 1, 0x000F56CEB34902EBull, "111000000000", NONE, "RenderTarget", 0},
    });
}

TEST_F(KVUnit3DTest, WorldMatrixOfTheAttributesIsTranslationTimesRzRyRxTimesScale) {
    KVUnit3D* unit = Make("A");
    unit->SetRotation({0.0f, float(kPi / 2), 0.0f});
    unit->SetScale({2.0f, 1.0f, 1.0f});
    float m[16];
    unit->GetWorldMatrix(m);
    EXPECT_NEAR(m[0], 0.0f, 1e-6f);
    EXPECT_NEAR(m[1], 0.0f, 1e-6f);
    EXPECT_NEAR(m[2], -2.0f, 1e-6f);

    uint32_t seed = 12345;
    const auto next = [&seed](double low, double high) {
        seed = seed * 1664525u + 1013904223u;
        return low + (high - low) * double(seed >> 8) / double(1u << 24);
    };
    for (int round = 0; round < 50; ++round) {
        const KV3DVector p = {float(next(-50, 50)), float(next(-50, 50)), float(next(-50, 50))};
        const KV3DVector r = {float(next(-7, 7)), float(next(-7, 7)), float(next(-7, 7))};
        const KV3DVector s = {float(next(-3, 3)), float(next(0.1, 3)), float(next(-3, 3))};
        unit->SetPosition(p);
        unit->SetRotation(r);
        unit->SetScale(s);
        Matrix t = Identity(), scale = Identity();
        t[12] = p.x, t[13] = p.y, t[14] = p.z;
        scale[0] = s.x, scale[5] = s.y, scale[10] = s.z;
        const Matrix expected =
            Product(Product(Product(Product(t, Turn(2, r.z)), Turn(1, r.y)), Turn(0, r.x)), scale);
        unit->GetWorldMatrix(m);
        for (int i = 0; i < 16; ++i) ASSERT_NEAR(m[i], expected[size_t(i)], 1e-4) << round << " " << i;
    }
}

TEST_F(KVUnit3DTest, WithoutAnObjectValuesAreOnlyStored) {
    KVUnit3D* unit = Make("A");
    EXPECT_NE(unit->GetFlags() & KVUNIT_3D, 0u);
    EXPECT_TRUE(unit->GetNativeUpdate());
    Set(unit, KVUnit3D::kPositionId, 1, "7.5");
    Set(unit, KVUnit3D::kRotationId, 2, "90");
    EXPECT_EQ(unit->GetPosition()->y, 7.5f);
    EXPECT_NEAR(unit->GetRotation()->z, float(kPi / 2), 1e-6f);
    EXPECT_EQ(unit->GetObject3D(), nullptr);
    float m[16];
    unit->GetWorldMatrix(m);
    EXPECT_EQ(m[13], 7.5f);
    // With an object the matrix is the object's.
    auto* object = new KVTestObject3D;
    object->matrix[12] = 99.0f;
    unit->SetObject3D(object);
    EXPECT_EQ(object->Owner(), static_cast<IKVObject3DOwner*>(unit));
    unit->GetWorldMatrix(m);
    EXPECT_EQ(m[12], 99.0f);
    // Closing lets the object go.
    const int live = KVTestObject3D::Live();
    unit->Release();
    EXPECT_EQ(KVTestObject3D::Live(), live - 1);
}

TEST_F(KVUnit3DTest, TheEnablePassPushesTheTransformIntoTheObject) {
    KVTestObject3D* object = nullptr;
    KVUnit3D* unit = WithObject("A", &object);
    unit->SetEnabled(false);
    *unit->GetPosition() = {1, 2, 3};
    *unit->GetRotation() = {0.1f, 0.2f, 0.3f};
    *unit->GetScale() = {4, 5, 6};
    object->calls.clear();
    unit->SetEnabled(true);
    EXPECT_EQ(object->calls, (std::vector<std::string>{"SetPosition", "SetRotation", "SetScale"}));
    EXPECT_EQ(std::vector<float>(object->position, object->position + 3), (std::vector<float>{1, 2, 3}));
    EXPECT_EQ(std::vector<float>(object->rotation, object->rotation + 3), (std::vector<float>{0.1f, 0.2f, 0.3f}));
    EXPECT_EQ(std::vector<float>(object->scale, object->scale + 3), (std::vector<float>{4, 5, 6}));
    // The pushes came back to the unit and were not taken up.
    EXPECT_EQ(unit->GetPosition()->x, 1.0f);
}

TEST_F(KVUnit3DTest, PushesAndPullsNeverBounce) {
    KVTestObject3D* object = nullptr;
    KVUnit3D* unit = WithObject("A", &object);
    unit->SetPosition({1, 2, 3});
    EXPECT_EQ(object->calls, (std::vector<std::string>{"SetPosition"}));
    EXPECT_EQ(object->position[2], 3.0f);
    // Moved from the 3D side: the unit takes the values up and pushes
    // nothing back.
    object->calls.clear();
    const float moved[3] = {7, 8, 9};
    object->SetPosition(moved);
    const float turned[3] = {0.5f, 0, 0};
    object->SetRotation(turned);
    EXPECT_EQ(object->calls, (std::vector<std::string>{"SetPosition", "SetRotation"}));
    EXPECT_EQ(unit->GetPosition()->y, 8.0f);
    EXPECT_EQ(unit->GetRotation()->x, 0.5f);
    // An attribute write pushes once.
    object->calls.clear();
    Set(unit, KVUnit3D::kScaleId, 0, "2");
    EXPECT_EQ(object->calls, (std::vector<std::string>{"SetScale"}));
    EXPECT_EQ(object->scale[0], 2.0f);
}

TEST_F(KVUnit3DTest, CopyingAnotherObjectsTransformTakesItsPositionAndRotation) {
    KVTestObject3D* object = nullptr;
    KVUnit3D* unit = WithObject("A", &object);
    unit->SetScale({3, 3, 3});
    object->calls.clear();
    auto* other = new KVTestObject3D;
    const float p[3] = {1, 2, 3}, r[3] = {0.1f, -0.2f, 0.3f};
    other->SetPosition(p);
    other->SetRotation(r);
    unit->CopyTransformFrom(other);
    EXPECT_EQ(object->calls, (std::vector<std::string>{"SetFromObject"}));
    EXPECT_EQ(unit->GetPosition()->z, 3.0f);
    EXPECT_NEAR(unit->GetRotation()->y, -0.2f, 1e-5f);
    // Scale is not copied back.
    EXPECT_EQ(unit->GetScale()->x, 3.0f);
    other->Release();
    // Without an object of its own nothing happens.
    KVUnit3D* bare = Make("B");
    auto* third = new KVTestObject3D;
    third->SetPosition(p);
    bare->CopyTransformFrom(third);
    EXPECT_EQ(bare->GetPosition()->x, 0.0f);
    third->Release();
}

TEST_F(KVUnit3DTest, AttachingAnswersOneForNoMeshFourForAnUnknownNodeAndZero) {
    KVTestNodeMeshUnit* mesh = Mesh("Body");
    mesh->Mesh()->AddNode("hand");
    mesh->Mesh()->AddNode("head");
    KVUnit3D* unit = Make("A");
    EXPECT_EQ(unit->AttachToMesh(rig.Make<KVUnit>("Unit", "Plain"), "hand"), 1);
    mesh->loaded = false;
    EXPECT_EQ(unit->AttachToMesh(mesh, "hand"), 1);
    EXPECT_EQ(unit->GetAttachedMesh(), nullptr);
    mesh->loaded = true;
    EXPECT_EQ(unit->AttachToMesh(mesh, "head"), 0);
    EXPECT_EQ(unit->GetAttachedMeshIndex(), mesh->GetIndex());
    EXPECT_EQ(unit->GetMeshNode(), 1);
    EXPECT_EQ(unit->GetAttachedMesh(), static_cast<IKVMeshNodes*>(mesh->Mesh()));
    // An unknown node leaves the attachment whole.
    EXPECT_EQ(unit->AttachToMesh(mesh, "tail"), 4);
    EXPECT_EQ(unit->GetAttachedMeshIndex(), mesh->GetIndex());
    EXPECT_EQ(unit->GetMeshNode(), 1);
    unit->DetachFromMesh();
    EXPECT_EQ(unit->GetAttachedMesh(), nullptr);
    EXPECT_EQ(unit->AttachToMesh(mesh, "hand"), 0);
    unit->ResetState();
    EXPECT_EQ(unit->GetAttachedMeshIndex(), -1);
}

TEST_F(KVUnit3DTest, AnAttachedUnitFollowsItsNodeWhileItsPositionStays) {
    KVTestNodeMeshUnit* mesh = Mesh("Body");
    mesh->SetPosition({10, 0, 0});
    mesh->SetRotation({0, 0, float(kPi / 2)});
    NodeTransform hand;
    hand.translation = {1, 2, 3};
    mesh->Mesh()->AddNode("hand", hand);
    KVTestObject3D* object = nullptr;
    KVUnit3D* unit = WithObject("A", &object);
    unit->SetPosition({5, 5, 5});
    ASSERT_EQ(unit->AttachToMesh(mesh, "hand"), 0);
    object->calls.clear();
    unit->Update(0.016f);
    // The mesh turned a quarter about z: (1, 2, 3) becomes (-2, 1, 3).
    EXPECT_NEAR(object->position[0], 8.0f, 1e-5f);
    EXPECT_NEAR(object->position[1], 1.0f, 1e-5f);
    EXPECT_NEAR(object->position[2], 3.0f, 1e-5f);
    EXPECT_EQ(object->calls, (std::vector<std::string>{"SetPosition", "SetRotation"}));
    // The node's world rotation is the mesh's.
    EXPECT_NEAR(object->rotation[0], 0.0f, 1e-5f);
    EXPECT_NEAR(std::fabs(object->rotation[2]), float(kPi / 2), 1e-5f);
    EXPECT_EQ(unit->GetPosition()->x, 5.0f);
    EXPECT_EQ(unit->GetRotation()->z, 0.0f);
    // The node moves, and the object with it.
    mesh->Mesh()->nodes[0].current.translation = {0, 0, -4};
    unit->Update(0.016f);
    EXPECT_NEAR(object->position[0], 10.0f, 1e-5f);
    EXPECT_NEAR(object->position[2], -4.0f, 1e-5f);
    EXPECT_EQ(unit->GetPosition()->x, 5.0f);

    // An unknown node keeps the unit on its node: -1 is never asked for.
    EXPECT_EQ(unit->AttachToMesh(mesh, "tail"), 4);
    unit->Update(0.016f);
    for (int32_t asked : mesh->Mesh()->asked) EXPECT_EQ(asked, 0);
    // Detached, or with its mesh gone, the unit stays where it is.
    unit->DetachFromMesh();
    object->calls.clear();
    unit->Update(0.016f);
    EXPECT_TRUE(object->calls.empty());
    ASSERT_EQ(unit->AttachToMesh(mesh, "hand"), 0);
    mesh->loaded = false;
    unit->Update(0.016f);
    EXPECT_TRUE(object->calls.empty());
    mesh->Release();
    unit->Update(0.016f);
    EXPECT_TRUE(object->calls.empty());
}

TEST_F(KVUnit3DTest, TheBindTransformTurnsTheNodeBack) {
    KVTestNodeMeshUnit* mesh = Mesh("Body");
    NodeTransform node, bind;
    // Both a quarter turn about x: the unit's rotation comes out zero.
    node.rotation = {float(std::sin(kPi / 4)), 0, 0, float(std::cos(kPi / 4))};
    bind.rotation = node.rotation;
    bind.translation = {3, 0, 0};
    mesh->Mesh()->AddNode("hand", node, bind);
    KVTestObject3D* object = nullptr;
    KVUnit3D* unit = WithObject("A", &object);
    ASSERT_EQ(unit->AttachToMesh(mesh, "hand"), 0);
    unit->Update(0.0f);
    for (int i = 0; i < 3; ++i) EXPECT_NEAR(object->rotation[i], 0.0f, 1e-5f);
}

TEST_F(KVUnit3DTest, EulerAnglesOfHandWorkedQuaternions) {
    struct Case {
        const char* what;
        KV3DQuaternion q;
        std::vector<float> angles;
    };
    const float h = float(kPi / 2);
    const Case cases[] = {
        {"identity", {0, 0, 0, 1}, {0, 0, 0}},
        // x = sin 0.25, w = cos 0.25: X = atan2(-sin 0.5, cos 0.5).
        {"about x", {float(std::sin(0.25)), 0, 0, float(std::cos(0.25))}, {-0.5f, 0, 0}},
        // s = 2yw = sin 0.4: Y = -0.4.
        {"about y", {0, float(std::sin(0.2)), 0, float(std::cos(0.2))}, {0, -0.4f, 0}},
        {"about z", {0, 0, float(std::sin(0.3)), float(std::cos(0.3))}, {0, 0, -0.6f}},
        // s = 1: |cos Y| <= 0.0005, X = 0, Z = atan2(-2(xy + zw), 1 - 2x² - 2z²).
        {"locked", {0.5f, 0.5f, 0.5f, 0.5f}, {0, -h, -h}},
        {"locked, y alone", {0, float(std::sin(kPi / 4)), 0, float(std::cos(kPi / 4))}, {0, -h, 0}},
        // Y = -0.3 with X = Z = π, folded to X = Z = 0, Y = -π + 0.3.
        {"folded",
         {0, float(std::sin((kPi - 0.3) / 2)), 0, float(std::cos((kPi - 0.3) / 2))},
         {0, float(-kPi + 0.3), 0}},
    };
    for (const Case& c : cases) {
        const std::vector<float> angles = FollowedAngles(c.q);
        for (int i = 0; i < 3; ++i) EXPECT_NEAR(angles[size_t(i)], c.angles[size_t(i)], 2e-4f) << c.what << " " << i;
    }
}

TEST_F(KVUnit3DTest, ComposingAgainstAZeroScaleStaysFinite) {
    NodeTransform a, b, out;
    a.translation = {1, 2, 3};
    a.scale = {4, 6, 8};
    b.translation = {5, 0, 0};
    b.scale = {2, 0, 4};
    KVUnit3D::ComposeNodeTransform(&out, a, b);
    EXPECT_EQ(out.scale.x, 2.0f);
    EXPECT_EQ(out.scale.y, 6.0f);
    EXPECT_EQ(out.scale.z, 2.0f);
    // b has no inverse: its own translation is added.
    EXPECT_EQ(out.translation.x, 6.0f);
    b.scale = {2, 2, 2};
    KVUnit3D::ComposeNodeTransform(&out, a, b);
    // (T(5,0,0)·S(2))⁻¹ moves by -5/2.
    EXPECT_NEAR(out.translation.x, 1.0f - 2.5f, 1e-6f);
    EXPECT_NEAR(out.scale.y, 3.0f, 1e-6f);
}

TEST_F(KVUnit3DTest, AutoClippedUnitsQueueTheirPositionAsADrawItem) {
    KVUnit3D* unit = Make("A");
    unit->SetPosition({1.5f, -2, 3});
    const size_t queued = rig.Scene().GetDrawQueue().size();
    bool visible = false;
    unit->QueryVisible(&visible, -1);
    EXPECT_TRUE(visible);
    ASSERT_EQ(rig.Scene().GetDrawQueue().size(), queued + 1);
    const KVDrawItem& item = rig.Scene().GetDrawQueue().back();
    EXPECT_EQ(std::vector<float>({item.x, item.y, item.z, item.radius}), (std::vector<float>{1.5f, -2, 3, 0}));
    Set(unit, KVUnit3D::kAutoClippedId, 0, "false");
    unit->QueryVisible(&visible, -1);
    EXPECT_EQ(rig.Scene().GetDrawQueue().size(), queued + 1);
    Set(unit, KVUnit3D::kAutoClippedId, 0, "true");
    unit->SetEnabled(false);
    unit->QueryVisible(&visible, -1);
    EXPECT_FALSE(visible);
    EXPECT_EQ(rig.Scene().GetDrawQueue().size(), queued + 1);
}

TEST_F(KVUnit3DTest, ScriptMethodsAttachAndReportWhatWentWrong) {
    KVTestNodeMeshUnit* mesh = Mesh("Body");
    mesh->Mesh()->AddNode("hand");
    KVUnit3D* unit = Make("Mover");
    rig.Make<KVUnit>("Unit", "Plain");
    struct Case {
        const char* code;
        const char* report;  // "" for none
    };
    const Case cases[] = {
        {"Mover:AttachToMesh(Body)", "Invalid number of arguments"},
        {"Mover:AttachToMesh(Plain, 'hand')", "First parameter is not a mesh unit"},
        {"Mover:AttachToMesh({}, 'hand')", "First parameter is not a mesh unit"},
        {"Mover:AttachToMesh(Body, 'tail')", "Mesh node not found"},
        {"Mover:AttachToMesh(Body, 'hand')", ""},
    };
    for (const Case& c : cases) {
        const std::vector<std::string> reports = ScriptReports(c.code);
        if (*c.report == '\0') {
            EXPECT_TRUE(reports.empty()) << c.code << ": " << (reports.empty() ? "" : reports[0]);
        } else {
            ASSERT_EQ(reports.size(), 1u) << c.code << ": " << reports[0];
            EXPECT_NE(reports[0].find(c.report), std::string::npos) << reports[0];
        }
    }
    EXPECT_EQ(unit->GetAttachedMeshIndex(), mesh->GetIndex());
    EXPECT_TRUE(ScriptReports("Mover:DetachFromMesh()").empty());
    EXPECT_EQ(unit->GetAttachedMeshIndex(), -1);
    mesh->loaded = false;
    const std::vector<std::string> reports = ScriptReports("Mover:AttachToMesh(Body, 'hand')");
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_NE(reports[0].find("Impossible to attach unit to the mesh (no loaded mesh file ?)"), std::string::npos);
    EXPECT_EQ(unit->GetAttachedMeshIndex(), -1);
}

// A displayed 3D unit that counts its shader changes.
class ShadedUnit : public KVUnitDisplay3D {
public:
    static KVUnit* Create() { return new ShadedUnit; }
    int32_t ShaderChanged() override {
        ++changes;
        return 0;
    }
    int changes = 0;
};

TEST_F(KVUnit3DTest, DisplayedUnitsKeepTheirReferencesAndDrawToTheirTarget) {
    KVUnitClassDesc desc;
    desc.name = "Shaded";
    desc.id = 0x7E573D02ull;
    desc.create = &ShadedUnit::Create;
    desc.baseClass = rig.Factory().FindClassByName("Display3D");
    rig.Factory().RegisterClass(desc, nullptr);
    auto* unit = rig.Make<ShadedUnit>("Shaded", "S");
    void* face = nullptr;
    ASSERT_EQ(unit->QueryInterface(IID_IKVUnitDisplay3D, &face), KV_OK);
    IKVUnitRef* shader = static_cast<IKVUnitDisplay3D*>(face)->GetShaderRef();
    ASSERT_NE(shader, nullptr);
    EXPECT_EQ(*shader->GetAttributeId(), KVUnitDisplay3D::kShaderId);
    EXPECT_EQ(*unit->GetRenderTargetRef()->GetAttributeId(), KVUnitDisplay3D::kRenderTargetId);
    ASSERT_EQ(unit->QueryInterface(IID_IKVUnit3D, &face), KV_OK);
    const int before = unit->changes;
    Set(unit, KVUnitDisplay3D::kShaderId, 0, std::to_string(rig.Make<KVUnit>("Unit", "Sh")->GetIndex()));
    EXPECT_EQ(unit->changes, before + 1);
    EXPECT_NE(shader->GetIndex(), -1);
    auto* texture = new KVResourceTexture();
    KVGraphic::Instance()->SetRenderTarget(texture);
    unit->Draw();
    EXPECT_EQ(KVGraphic::Instance()->GetRenderTarget(), nullptr);
    texture->Release();
    EXPECT_EQ(unit->DrawMirrored(nullptr, 1), 0);
    EXPECT_EQ(unit->PrepareDraw(), 0);
}

TEST_F(KVUnit3DTest, NumbersThatAreNoNumbersNeverCrash) {
    KVTestNodeMeshUnit* mesh = Mesh("Body");
    NodeTransform wild;
    wild.translation = {NAN, INFINITY, -1e38f};
    wild.rotation = {NAN, 0, 0, 0};
    wild.scale = {0, 0, 0};
    mesh->Mesh()->AddNode("wild", wild, wild);
    mesh->SetScale({0, INFINITY, NAN});
    KVTestObject3D* object = nullptr;
    KVUnit3D* unit = WithObject("A", &object);
    for (const char* text : {"nan", "inf", "-inf", "1e39"})
        for (uint64_t id : {KVUnit3D::kPositionId, KVUnit3D::kRotationId, KVUnit3D::kScaleId})
            for (int32_t element = 0; element < 3; ++element) Set(unit, id, element, text);
    float m[16];
    unit->GetWorldMatrix(m);
    ASSERT_EQ(unit->AttachToMesh(mesh, "wild"), 0);
    unit->Update(0.016f);
    bool visible = false;
    unit->QueryVisible(&visible, -1);
    SUCCEED();
}

} // namespace
