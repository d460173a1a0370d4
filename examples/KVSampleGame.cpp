// Writes the sample game into a directory: its configuration, project file,
// scene of units, pictures, scripts and the loading-screen script.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "KVSampleGameArt.h"
#include "KVSampleGameLook.h"
#include "KVSampleGameScripts.h"
#include "graphics/KVGraphic.h"
#include "support/KVProjectFileWriter.h"
#include "support/KVPropertiesBlockWriter.h"
#include "support/KVSceneUnitsWriter.h"
#include "support/KVTextFileWriter.h"
#include "support/KVTextUnitSupport.h"
#include "support/KVUnitRecordsWriter.h"
#include "units/KVUnit.h"
#include "units/KVUnit2D.h"
#include "units2d/KVGUIButton.h"
#include "units2d/KVGUIFont.h"
#include "units2d/KVGUIText.h"
#include "units2d/KVGUIUnicodeText.h"
#include "units2d/KVUnitArea.h"
#include "units2d/KVUnitCollisionGroup.h"
#include "units2d/KVUnitParticle2DEmitter.h"
#include "units2d/KVUnitFader.h"
#include "units2d/KVUnitLayer.h"
#include "units2d/KVUnitNode2D.h"
#include "units2d/KVUnitShape.h"
#include "units2d/KVUnitSprite.h"
#include "units2d/KVUnitTimer.h"
#include "units3d/KVUnitCamera.h"

namespace {

using kvtest::KVStoredAttribute;
using kvtest::KVUnitRecord;

constexpr uint64_t kProjectId = 0x004B56414D504C45ull;
constexpr uint64_t kProjectFullName = 0x0066B9570C13C898ull;
constexpr uint64_t kLoadAnimator = 0x003471247D5E3310ull;
constexpr uint64_t kNeedSoundDevice = 0x001D90A67E3277C9ull;
constexpr uint64_t kFirstUid = 0x4B56434154430001ull;

bool WriteText(const std::filesystem::path& path, const std::string& text) {
    std::filesystem::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary);
    out << text;
    return bool(out);
}

const char* const kConfig =
    "; Engine configuration of the sample game.\n"
    "[STARTUP]\n"
    "KVPROJ=sample.kvproj\n"
    "\n"
    "[General]\n"
    "LogOnDisk=1\n"
    "\n"
    "; Script errors go to loglua.txt.\n"
    "[Script]\n"
    "LogOnDisk=1\n";

// Loaded from "loader.luac": the loader accepts text chunks as well.
const char* const kLoaderScript =
    "-- The sample game's loading screen: a few frames, then done.\n"
    "frames = 0\n"
    "function OnAnimatorInit()\n"
    "  bar = KVLoadAnimator.CreateRect()\n"
    "  KVLoadAnimator.SetParameters(bar, { x = 0, y = 380, width = 0, height = 8, show = true })\n"
    "  log(\"Loading screen on \" .. KVLoadAnimator.GetPlatform())\n"
    "end\n"
    "function OnAnimatorUpdate(dt)\n"
    "  frames = frames + 1\n"
    "  KVLoadAnimator.SetParameters(bar, { width = frames * 200 })\n"
    "  log(\"Loading frame \" .. frames)\n"
    "  if frames >= 5 then KVLoadAnimator.Exit() end\n"
    "end\n";

// The scene of the catch game, drawn in this order: the sky, the basket and
// the falling stars, the HUD layer's units, and the fader over everything.
std::vector<uint8_t> CatchScene() {
    using namespace kvl;
    using namespace kvsample;
    kvtest::KVSceneUnitsWriter units;
    kvtest::KVUnitRecordsWriter records(&units);
    uint64_t uid = kFirstUid;
    auto add = [&](KVUnitRecord record) {
        record.uid = uid++;
        return records.Add(record);
    };

    // The screen is a 3D device: a camera keeps the scene manager content.
    add({KVUnitCamera::kClassId, "Camera", "Camera", {KVStoredAttribute::Bool(KVUnitCamera::kActiveId, true)}});
    add({KVUnitSprite::kClassId, "Sprite", "Sky",
         {KVStoredAttribute::Paths(KVUnitSprite::kImageId, "images/sky.png"), KVStoredAttribute::Position(0, 0)}});
    // The play field takes the pointer; an area draws nothing in a game.
    add({KVUnitArea::kClassId, "Area", "Field",
         {KVStoredAttribute::Position(0, 0),
          KVStoredAttribute::Points(KVUnit2D::kOutlineId, {{0, 0}, {kWidth, 0}, {kWidth, kHeight}, {0, kHeight}})}});
    add({KVUnitNode2D::kClassId, "Node2D", "Game", {}});
    const uint32_t basket =
        add({KVUnitSprite::kClassId, "Sprite", "Basket",
             {KVStoredAttribute::Paths(KVUnitSprite::kImageId, "images/basket.png"),
              KVStoredAttribute::Position(float(kWidth - kBasketWidth) / 2, float(kBasketTop)),
              KVStoredAttribute::Bool(KVUnitSprite::kAlphaTestId, true)}});
    // Stars are the collisioners, added as they are made; the basket is
    // what they hit, at the point of each star.
    add({KVUnitCollisionGroup::kClassId, "CollisionGroup", "Catcher",
         {KVStoredAttribute::Links(KVUnitCollisionGroup::kCollisionablesId, {kvtest::KVStored::Local(basket)}),
          KVStoredAttribute::Enum(KVUnitCollisionGroup::kTypeId, 1)}});
    add({KVUnitSprite::kClassId, "Sprite", "Star",
         {KVStoredAttribute::Paths(KVUnitSprite::kImageId, "images/star.png"),
          KVStoredAttribute::Position(0, -float(kStarSide))},
         false});
    add({KVUnitParticle2DEmitter::kClassId, "Particle2DEmitter", "Burst",
         {KVStoredAttribute::Paths(KVUnitParticle2DEmitter::kImageId, "images/spark.png"),
          KVStoredAttribute::Color(KVUnitParticle2DEmitter::kColorStartId, kSparkColor),
          KVStoredAttribute::Color(KVUnitParticle2DEmitter::kColorMiddleId, kSparkColor),
          KVStoredAttribute::Color(KVUnitParticle2DEmitter::kColorEndId, kSparkColor & 0x00FFFFFFu),
          KVStoredAttribute::Floats(KVUnitParticle2DEmitter::kCreationPerSecId, {400.0f}),
          KVStoredAttribute::Floats(KVUnitParticle2DEmitter::kLifetimeId, {0.6f}),
          KVStoredAttribute::Floats(KVUnitParticle2DEmitter::kSpeedId, {90.0f}),
          KVStoredAttribute::Floats(KVUnitParticle2DEmitter::kDirectionDeltaId, {100.0f}),
          KVStoredAttribute::U32(KVUnitParticle2DEmitter::kMaxParticlesId, 24),
          KVStoredAttribute::Bool(KVUnitParticle2DEmitter::kAutoDisableId, true)},
         false});
    add({KVUnitTimer::kClassId, "Timer", "Spawner",
         {KVStoredAttribute::Floats(KVUnitTimer::kTimeId, {0.7f}), KVStoredAttribute::Bool(KVUnitTimer::kLoopId, true)}});
    // The score's font; the sheet itself is not drawn.
    KVUnitRecord font{KVGUIFont::kClassId, "GUIFont", "ScoreFont",
                      {KVStoredAttribute::Paths(KVUnitSprite::kImageId, "images/font.png"),
                       KVStoredAttribute::U32(KVGUIFont::kStartLineId, 2),
                       KVStoredAttribute::U32(KVGUIFont::kNbLinesId, kFontRows)}};
    font.flags = 0x10;
    const uint32_t fontAt = add(font);
    const uint32_t hud = add({KVUnitLayer::kClassId, "Layer", "HUD", {}});
    const uint64_t onHud = kvtest::KVStored::Local(hud);
    add({KVGUIText::kClassId, "Text", "Score",
         {KVStoredAttribute::Link(KVGUIText::kFontId, kvtest::KVStored::Local(fontAt)),
          KVStoredAttribute::String(KVGUIText::kTextId, "SCORE 0"),
          KVStoredAttribute::Color(KVGUIText::kColorId, kScoreColor),
          KVStoredAttribute::Position(float(kScoreLeft), float(kScoreTop)), KVStoredAttribute::Layer(onHud)}});
    add({KVGUIUnicodeText::kClassId, "TTFText", "Title",
         {KVStoredAttribute::Path(KVGUIUnicodeText::kFontId, "fonts/dejavusans.ttf"),
          KVStoredAttribute::Path(KVGUIUnicodeText::kTextFileId, "text/title.txt"),
          KVStoredAttribute::Ints(KVGUIUnicodeText::kCharSizeId, {22, 22}),
          KVStoredAttribute::Bools(KVGUIUnicodeText::kAutoDimensionId, {false, false}),
          KVStoredAttribute::Bool(KVGUIUnicodeText::kWordWrapId, true),
          KVStoredAttribute::Enum(KVGUIUnicodeText::kAlignmentId, 2),
          KVStoredAttribute::Position(float(kTitleLeft), float(kTitleTop)),
          KVStoredAttribute::Dimension(kTitleWidth, kTitleHeight), KVStoredAttribute::Layer(onHud)}});
    add({KVGUIButton::kClassId, "GUIButton", "Restart",
         {KVStoredAttribute::Paths(KVUnitSprite::kImageId,
                                   "images/restart_n.png|images/restart_p.png|images/restart_h.png"),
          KVStoredAttribute::Position(float(kButtonLeft), float(kButtonTop)), KVStoredAttribute::Layer(onHud)},
         false});
    add({KVUnitFader::kClassId, "Fader", "Fade",
         {KVStoredAttribute::Color(KVUnitShape::kColorId, 0xFF000000u),
          KVStoredAttribute::Color(KVUnitFader::kColorEndId, 0x00000000u),
          KVStoredAttribute::Floats(KVUnitFader::kPeriodId, {1.0f}),
          KVStoredAttribute::Bool(KVUnitFader::kAutoplayId, true)}});
    return units.Scene(0x20004, kProjectId);
}

// The title and the instructions, read by the title unit as UTF-16; a
// carriage return ends a line (a line feed alone is passed over).
const char16_t* const kTitle =
    u"Catch the Stars \u2605\r\nMove the basket with the mouse. Three misses end the round.";

// DejaVu Sans, with its licence beside it.
bool CopyFont(const std::filesystem::path& fonts) {
    std::error_code error;
    std::filesystem::create_directories(fonts, error);
    const auto options = std::filesystem::copy_options::overwrite_existing;
    return std::filesystem::copy_file(kvtest::kDejaVuSansPath, fonts / "dejavusans.ttf",
                                      options, error) &&
           std::filesystem::copy_file("/usr/share/doc/fonts-dejavu-core/copyright", fonts / "DejaVuSans-LICENSE.txt",
                                      options, error);
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s GAME_DIRECTORY\n", argv[0]);
        return 2;
    }
    const std::filesystem::path assets = std::filesystem::path(argv[1]) / "assets";
    std::filesystem::create_directories(assets / "scenes");

    kvtest::KVPropertiesBlockWriter properties(0x10005);
    properties.AddString(kProjectFullName, "Kelvane Sample");
    properties.AddString(kLoadAnimator, "loading/loader.lua");
    properties.AddBoolean(kNeedSoundDevice, 0);
    properties.AddInteger(kvl::KVGraphic::kGameWidthId, kvsample::kWidth);
    properties.AddInteger(kvl::KVGraphic::kGameHeightId, kvsample::kHeight);
    // A project newer than those whose 2D units stored their anchors
    // inverted.
    kvtest::KVProjectFileWriter project(0x10006, kProjectId);
    project.AddKvl("scenes/main.kvl").AddGroup("main", {0}, true).Append(properties.Build());

    bool ok = WriteText(assets / "config.ini", kConfig) &&
              WriteText(assets / "script" / "app.lua", kvsample::kApplicationScript) &&
              WriteText(assets / "script" / "game.lua", kvsample::kGameScript) &&
              WriteText(assets / "loading" / "loader.luac", kLoaderScript) && kvsample::WriteArt(assets) &&
              WriteText(assets / "text" / "title.txt", kvtest::TextFileUtf16(kTitle)) && CopyFont(assets / "fonts") &&
              project.WriteTo((assets / "sample.kvproj").string()) &&
              kvtest::KVChunkWriter::WriteFile((assets / "scenes" / "main.kvl").string(), CatchScene());
    if (!ok) {
        std::fprintf(stderr, "could not write the sample game into %s\n", argv[1]);
        return 1;
    }
    return 0;
}
