// Every class with work of its own each frame, stored in a scene file and
// played through the program's own frame: its script namespace listens only
// to the class's events (no "OnUpdate"), or has an empty "OnUpdate" too; the
// unit does its work and raises its events either way.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "media/KVTheora.h"
#include "media/KVUnitSound.h"
#include "media/KVVSPR.h"
#include "support/KVGameRig.h"
#include "support/KVOggWriter.h"
#include "support/KVSceneUnitsWriter.h"
#include "support/KVToolFiles.h"
#include "support/KVVsprWriter.h"
#include "units/KVUnit2D.h"
#include "units2d/KVUnitCollisionGroup.h"
#include "units2d/KVUnitFader.h"
#include "units2d/KVUnitParticle2DEmitter.h"
#include "units2d/KVUnitShape.h"
#include "units2d/KVUnitTimer.h"
#include "units3d/KVUnitMesh.h"
#include "units3d/KVUnitParticleEmitter.h"
#include "support/KVMeshUnitFiles.h"

using namespace kvl;
using namespace kvtest;

namespace {

// A game frame of 20 ms; every row's work is over within 3 s of game time.
constexpr int32_t kFrames = 150;

struct Row {
    const char* name;
    uint64_t classId;
    std::vector<KVSceneAttributeSpec> attributes;
    std::vector<Bytes> values;
    // The class's events the script listens to; every one records
    // "U:Event".
    std::vector<std::string> events;
    // Files the unit reads, written under the asset root.
    std::function<void(KVGameRig&)> files;
    // What shows the unit worked, asked after each frame.
    std::function<bool(KVGameRig&)> worked;
    // The game time its work takes at least.
    double notBefore = 0.0;
    // More units of the scene (after U, at 1, 2 ...) and their script.
    std::function<void(KVSceneUnitsWriter&)> more;
    std::string moreScript;

    Row(const char* name_, uint64_t classId_, std::vector<KVSceneAttributeSpec> attributes_, std::vector<Bytes> values_,
        std::vector<std::string> events_, std::function<void(KVGameRig&)> files_,
        std::function<bool(KVGameRig&)> worked_, double notBefore_ = 0.0,
        std::function<void(KVSceneUnitsWriter&)> more_ = nullptr, std::string moreScript_ = std::string())
        : name(name_), classId(classId_), attributes(std::move(attributes_)), values(std::move(values_)),
          events(std::move(events_)), files(std::move(files_)), worked(std::move(worked_)), notBefore(notBefore_),
          more(std::move(more_)), moreScript(std::move(moreScript_)) {}
};

bool Recorded(KVGameRig& game, const std::string& text) {
    for (const std::string& r : game.Records())
        if (r == text) return true;
    return false;
}

std::vector<uint8_t> VideoSprite() {
    KVVsprSpec recipe;
    recipe.frameRate = 10;
    for (uint8_t i = 0; i < 5; ++i) recipe.frames.push_back(std::vector<uint8_t>(16, uint8_t(i * 40)));
    return WriteVspr(recipe);
}

std::vector<Row> Rows() {
    std::vector<Row> rows;
    rows.push_back(Row("Timer",
                       KVUnitTimer::kClassId,
                       {{KVUnitTimer::kTimeId, 1, 1}, {KVUnitTimer::kLoopId, 7, 1}, {KVUnitTimer::kAutoplayId, 7, 1}},
                       {KVStored::F32(0.1f), KVStored::Bool(false), KVStored::Bool(true)},
                       {"OnTimeOut"},
                       nullptr,
                       [](KVGameRig& g) { return Recorded(g, "U:OnTimeOut"); },
                       0.1));
    rows.push_back(Row("Fader",
                       KVUnitFader::kClassId,
                       {{KVUnitFader::kPeriodId, 1, 1}, {KVUnitFader::kAutoplayId, 7, 1}},
                       {KVStored::F32(0.2f), KVStored::Bool(true)},
                       {"OnFaderStart", "OnFaderEnd"},
                       nullptr,
                       [](KVGameRig& g) { return Recorded(g, "U:OnFaderEnd"); },
                       0.2));
    rows.push_back(Row("Particle2DEmitter",
                       KVUnitParticle2DEmitter::kClassId,
                       {{KVUnitParticle2DEmitter::kCreationPerSecId, 1, 1},
                        {KVUnitParticle2DEmitter::kLifetimeId, 1, 1},
                        {KVUnitParticle2DEmitter::kSpeedId, 1, 1}},
                       {KVStored::F32(50.0f), KVStored::F32(2.0f), KVStored::F32(100.0f)},
                       {},
                       nullptr,
                       [](KVGameRig& g) {
                           // A particle made a while ago has left where it was made.
                           auto* emitter = dynamic_cast<KVUnitParticle2DEmitter*>(g.Find("U"));
                           if (!emitter || emitter->GetParticles().empty()) return false;
                           const Particle2D& p = emitter->GetParticles().front();
                           return p.age > 0.2f && (p.x * p.x + p.y * p.y) > 1.0f;
                       }));
    rows.push_back(Row("Sound",
                       KVUnitSound::kClassId,
                       {{KVUnitSound::kSoundId, 3, 1}, {KVUnitSound::kLoopId, 7, 1}, {KVUnitSound::kAutoplayId, 7, 1}},
                       {KVStored::String("sounds/s.ogg", true), KVStored::Bool(false), KVStored::Bool(true)},
                       {"OnPlaySound", "OnEndSound"},
                       [](KVGameRig& g) { g.WriteFile("sounds/s.ogg", WriteOggSeconds(0.3)); },
                       [](KVGameRig& g) { return Recorded(g, "U:OnEndSound"); },
                       0.3));
    rows.push_back(Row("VideoSprite",
                       KVVSPR::kClassId,
                       {{KVVSPR::kFileId, 3, 1}, {KVVSPR::kLoopId, 7, 1}, {KVVSPR::kAutoplayId, 7, 1}},
                       {KVStored::String("v.vspr", true), KVStored::Bool(false), KVStored::Bool(true)},
                       {"OnVideoSpriteStart", "OnVideoSpriteEnd"},
                       [](KVGameRig& g) { g.WriteFile("v.vspr", VideoSprite()); },
                       [](KVGameRig& g) { return Recorded(g, "U:OnVideoSpriteEnd"); },
                       0.4));
    rows.push_back(Row("Theora",
                       KVTheora::kClassId,
                       {{KVTheora::kFileId, 3, 1},
                        {KVTheora::kLoopId, 7, 1},
                        {KVTheora::kAutoplayId, 7, 1},
                        {KVTheora::kNoSoundId, 7, 1}},
                       {KVStored::String("movies/m.ogg", true), KVStored::Bool(false), KVStored::Bool(true),
                        KVStored::Bool(true)},
                       {"OnVideoStart", "OnVideoEnd"},
                       [](KVGameRig& g) {
                           const std::vector<uint8_t> movie =
                               FfmpegMovie("testsrc=s=160x120:r=10:d=1.5", "-q:v 8 -g 12");
                           ASSERT_FALSE(movie.empty()) << "ffmpeg with libtheora makes this movie";
                           g.WriteFile("movies/m.ogg", movie);
                       },
                       [](KVGameRig& g) { return Recorded(g, "U:OnVideoEnd"); },
                       1.4));
    rows.push_back(Row("CollisionGroup",
                       KVUnitCollisionGroup::kClassId,
                       {{KVUnitCollisionGroup::kCollisionersId, 6, 1}, {KVUnitCollisionGroup::kCollisionablesId, 6, 1}},
                       {KVStored::Links({KVStored::Local(1)}), KVStored::Links({KVStored::Local(2)})},
                       {},
                       nullptr,
                       [](KVGameRig& g) { return Recorded(g, "A:OnCollisionEnter B"); },
                       0.0,
                       [](KVSceneUnitsWriter& units) {
                           // Two round shapes of 100 that overlap.
                           KVSceneClassSpec shape;
                           shape.classId = KVUnitShape::kClassId;
                           shape.name = "Shape";
                           shape.baseEntry = units.UnitEntry();
                           shape.attributes = {{KVUnit2D::kPositionId, 1, 2},
                                               {KVUnit2D::kDimensionId, 2, 2},
                                               {KVUnitShape::kTypeId, 11, 1}};
                           const int32_t entry = units.AddClass(shape);
                           for (int i = 0; i < 2; ++i) {
                               std::vector<Bytes> values =
                                   KVSceneUnitsWriter::UnitValues(i ? "B" : "A", uint64_t(2 + i));
                               values.push_back(KVStored::F32s({float(i * 60), 0.0f}));
                               values.push_back(KVStored::I32s({100, 100}));
                               values.push_back(KVStored::U32(1));
                               units.AddUnit(entry, values);
                           }
                       },
                       "A = {}\nfunction A.OnCollisionEnter(...)\n"
                       "  local a = {...}\n"
                       "  TestRecorder.Record('A:OnCollisionEnter ' .. a[#a].Name)\n"
                       "end\n\n"));
    rows.push_back(Row("Mesh",
                       KVUnitMesh::kClassId,
                       {{KVUnitMesh::kMeshId, 10, 1},
                        {KVUnitMesh::kAutoAnimationId, 7, 1},
                        {KVUnitMesh::kAnimationLoopId, 0, 1}},
                       {KVStored::String("body.kv3d|walk.kv3d|run.kv3d", true), KVStored::Bool(true), KVStored::U32(1)},
                       {"OnEndAnimation"},
                       [](KVGameRig& g) { WriteAnimatedBody(g.Root()); },
                       [](KVGameRig& g) { return Recorded(g, "U:OnEndAnimation"); },
                       0.9));
    rows.push_back(Row("ParticleEmitter",
                       KVUnitParticleEmitter::kClassId,
                       {{KVUnitParticleEmitter::kAutoplayId, 7, 1},
                        {KVUnitParticleEmitter::kPartsPerSecId, 1, 1},
                        {KVUnitParticleEmitter::kPartLifetimeId, 1, 1}},
                       {KVStored::Bool(true), KVStored::F32(50.0f), KVStored::F32(2.0f)},
                       {},
                       nullptr,
                       [](KVGameRig& g) {
                           auto* emitter = dynamic_cast<KVUnitParticleEmitter*>(g.Find("U"));
                           return emitter && emitter->GetParticles().size() >= 5;
                       },
                       0.06));
    return rows;
}

std::string Namespace(const std::vector<std::string>& events, bool withUpdate) {
    std::string script = "U = {}\n";
    for (const std::string& e : events)
        script += "function U." + e + "() TestRecorder.Record('U:" + e + "') end\n";
    if (withUpdate) script += "function U.OnUpdate() end\n";
    return script;
}

TEST(KVUnitUpdateSweepsGameTest, EveryClassWithWorkEachFrameWorksWhetherOrNotItsScriptHasOnUpdate) {
    for (const Row& row : Rows()) {
        for (bool withUpdate : {false, true}) {
            SCOPED_TRACE(std::string(row.name) + (withUpdate ? ", with OnUpdate" : ", without OnUpdate"));
            KVSceneUnitsWriter units;
            const int32_t unitEntry = units.UnitEntry();
            KVSceneClassSpec entry;
            entry.classId = row.classId;
            entry.name = row.name;
            entry.baseEntry = unitEntry;
            entry.attributes = row.attributes;
            const int32_t own = units.AddClass(entry);
            std::vector<Bytes> values = KVSceneUnitsWriter::UnitValues("U", 1);
            values.insert(values.end(), row.values.begin(), row.values.end());
            units.AddUnit(own, values);
            if (row.more) row.more(units);

            KVGameRig game;
            if (row.files) row.files(game);
            game.AddScene("scenes/main.kvl", units.Scene(0x20004, KVGameRig::kProjectId));
            game.WriteScript("u.lua", Namespace(row.events, withUpdate) + row.moreScript);
            ASSERT_TRUE(game.Start());
            ASSERT_NE(game.Find("U"), nullptr);
            EXPECT_TRUE(game.StepUntil([&] { return row.worked(game); }, kFrames))
                << "after " << game.Frames() << " frames";
            // Its work took its own time: it did not end the moment it began.
            EXPECT_GE(game.Seconds() + 0.03, row.notBefore);
            EXPECT_TRUE(game.ScriptErrors().empty()) << game.ScriptErrors().front();
        }
    }
}

} // namespace
