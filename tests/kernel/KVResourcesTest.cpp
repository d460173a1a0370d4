#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "graphics/KVGraphic.h"
#include "kernel/KVPath.h"
#include "kernel/KVProperties.h"
#include "kernel/KVResources.h"
#include "media/KVSoundManager.h"
#include "support/KVFileTestSupport.h"
#include "support/KVMemoryFile.h"
#include "support/KVTestLog.h"
#include "support/KVTestResources.h"

using namespace kvl;
using kvtest::KVTestResource;

namespace {

KVTestResource* AsTest(IKVResource* r) { return static_cast<KVTestResource*>(r); }

// A project directory with capitals in a fresh working directory, a
// resource manager started in phases 0 and 2, a "png" reader and the
// graphic and sound placeholders that the manager calls.
class KVResourcesTest : public ::testing::Test {
protected:
    void SetUp() override {
        log.Install();
        project = files.Base() + "My Game/";
        SetProjectDirectory(project);
        resources.SetFileInterface(&files.Files());
        resources.SetEditorModeOverride(false);
        resources.Init(0);
        resources.Init(2);
        resources.RegisterReader(&png);
    }
    void TearDown() override { SetProjectDirectory(""); }

    IKVResource* Load(const std::string& path, uint32_t flags = 0, IKVResourceProducer* p = nullptr) {
        IKVResource* out = nullptr;
        resources.Load(path.c_str(), p ? p : &producer, nullptr, &out, flags);
        return out;
    }

    kvtest::PlatformFileLayer files;
    kvtest::KVTestLog log;
    KVGraphic graphic;
    KVSoundManager sound;
    KVResources resources;
    kvtest::KVTestProducer producer;
    kvtest::KVTestReader png{"png"};
    std::string project;
};

} // namespace

TEST_F(KVResourcesTest, SamePathGivesTheSameResource) {
    IKVResource* a = Load(project + "img/Hero.PNG");
    ASSERT_NE(a, nullptr);
    IKVResource* b = Load(project + "IMG/hero.png");
    EXPECT_EQ(a, b);
    EXPECT_EQ(AsTest(a)->RefCount(), 2);
    ASSERT_EQ(producer.calls.size(), 1u);
    // Letters are lowered past the project directory, whose own case stays.
    EXPECT_EQ(producer.calls[0].path, project + "img/hero.png");
    EXPECT_EQ(producer.calls[0].reader, &png);
    EXPECT_EQ(resources.GetManagedCount(), 1u);
    EXPECT_EQ(resources.FindLoaded((project + "img/HERO.png").c_str()), a);
    EXPECT_EQ(resources.FindLoaded((project + "img/other.png").c_str()), nullptr);
    // The capitals of the project directory do not hide it either.
    std::string lower = project;
    for (char& c : lower) c = char(std::tolower(static_cast<unsigned char>(c)));
    EXPECT_EQ(resources.FindLoaded((lower + "img/hero.png").c_str()), a);
    a->Release();
    b->Release();
}

TEST_F(KVResourcesTest, LastReleaseFreesTheResource) {
    IKVResource* a = Load(project + "a.png");
    IKVResource* again = Load(project + "a.png");
    ASSERT_EQ(KVTestResource::Alive(), 1);
    again->Release();
    EXPECT_EQ(resources.GetManagedCount(), 1u);
    EXPECT_EQ(KVTestResource::Alive(), 1);
    a->Release();
    EXPECT_EQ(KVTestResource::Alive(), 0);
    EXPECT_EQ(resources.GetManagedCount(), 0u);
    EXPECT_EQ(resources.FindLoaded((project + "a.png").c_str()), nullptr);
    // A later request makes a new one.
    IKVResource* b = Load(project + "a.png");
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(producer.calls.size(), 2u);
    b->Release();
}

TEST_F(KVResourcesTest, DroppingAKindKeepsTheObjectsAndTheNextUseReloads) {
    kvtest::KVTestProducer soundProducer(KVRESOURCE_SOUND);
    kvtest::KVTestReader ogg{"ogg"};
    resources.RegisterReader(&ogg);
    IKVResource* texture = Load(project + "t.png");
    IKVResource* buffer = Load(project + "s.ogg", 0, &soundProducer);
    KVTestResource unmanagedTexture("made", KVRESOURCE_TEXTURE, false);
    resources.AddUnmanaged(&unmanagedTexture);

    EXPECT_EQ(resources.DropAllOfType(KVRESOURCE_TEXTURE), KV_OK);
    EXPECT_EQ(AsTest(texture)->freeDataCalls, 1);
    EXPECT_FALSE(AsTest(texture)->HasData());
    EXPECT_EQ(unmanagedTexture.freeDataCalls, 1);
    EXPECT_EQ(AsTest(buffer)->freeDataCalls, 0);
    EXPECT_EQ(graphic.GetForgetTextureStagesCalls(), 1);
    EXPECT_EQ(resources.GetManagedCount(), 2u);
    // Dropping again drops nothing more: only loaded data goes.
    resources.DropAllOfType(KVRESOURCE_TEXTURE);
    EXPECT_EQ(AsTest(texture)->freeDataCalls, 1);

    resources.Touch(texture);
    EXPECT_TRUE(AsTest(texture)->HasData());
    EXPECT_EQ(AsTest(texture)->loads, 2);
    ASSERT_EQ(producer.calls.size(), 2u);
    EXPECT_TRUE(producer.calls[1].reload);
    resources.Touch(texture);
    EXPECT_EQ(AsTest(texture)->loads, 2);
    resources.Touch(&unmanagedTexture);
    EXPECT_EQ(unmanagedTexture.invalidateCalls, 1);

    resources.DropAllOfType(KVRESOURCE_SOUND);
    EXPECT_EQ(AsTest(buffer)->freeDataCalls, 1);
    EXPECT_EQ(graphic.GetForgetTextureStagesCalls(), 2);  // the second texture drop; kind 1 forgets nothing
    resources.Touch(buffer);
    EXPECT_EQ(AsTest(buffer)->loads, 2);

    resources.Release(&unmanagedTexture);
    EXPECT_EQ(resources.GetUnmanagedCount(), 0u);
    texture->Release();
    buffer->Release();
}

TEST_F(KVResourcesTest, FreeingChoosesTheLeastRecentlyUsedAndSparesTheCurrentFrame) {
    kvtest::KVTestProducer soundProducer(KVRESOURCE_SOUND);
    kvtest::KVTestReader ogg{"ogg"};
    resources.RegisterReader(&ogg);
    IKVResource* a = Load(project + "a.png");
    IKVResource* b = Load(project + "b.png");
    IKVResource* c = Load(project + "c.png");
    IKVResource* s = Load(project + "s.ogg", 0, &soundProducer);
    for (IKVResource* r : {c, a, b, s}) resources.Touch(r);  // order of use: c, a, b
    // Everything was used in this frame.
    EXPECT_EQ(resources.FreeOneOfType(KVRESOURCE_TEXTURE), KV_NOT_FOUND);
    resources.FreeAllOfType(KVRESOURCE_TEXTURE);
    EXPECT_EQ(AsTest(a)->freeDataCalls + AsTest(b)->freeDataCalls + AsTest(c)->freeDataCalls, 0);

    resources.IncrementCounters();  // a scene draw
    EXPECT_EQ(resources.FreeOneOfType(KVRESOURCE_TEXTURE), KV_OK);
    EXPECT_EQ(AsTest(c)->freeDataCalls, 1);
    EXPECT_EQ(resources.FreeOneOfType(KVRESOURCE_TEXTURE), KV_OK);
    EXPECT_EQ(AsTest(a)->freeDataCalls, 1);
    resources.Touch(c);  // reloaded, used now
    EXPECT_TRUE(AsTest(c)->HasData());
    EXPECT_EQ(resources.FreeOneOfType(KVRESOURCE_TEXTURE), KV_OK);
    EXPECT_EQ(AsTest(b)->freeDataCalls, 1);
    EXPECT_EQ(resources.FreeOneOfType(KVRESOURCE_TEXTURE), KV_NOT_FOUND);

    // Sound buffers are never freed by eviction.
    resources.IncrementCounters();
    EXPECT_EQ(resources.FreeOneOfType(KVRESOURCE_SOUND), KV_NOT_FOUND);
    resources.FreeAllOfType(KVRESOURCE_SOUND);
    EXPECT_EQ(AsTest(s)->freeDataCalls, 0);
    resources.FreeAllOfType(KVRESOURCE_TEXTURE);
    EXPECT_EQ(AsTest(c)->freeDataCalls, 2);

    for (IKVResource* r : {a, b, c, s}) r->Release();
}

TEST_F(KVResourcesTest, FreeOneWeighsUnmanagedAgainstManaged) {
    IKVResource* m = Load(project + "m.png");
    KVTestResource u("u", KVRESOURCE_TEXTURE, false);
    resources.AddUnmanaged(&u);
    // Draws raise the managed counter from -1 to 1; the unmanaged one stays at -1.
    resources.IncrementCounters();
    resources.IncrementCounters();
    // The unmanaged counter is below the managed one: the managed one goes.
    EXPECT_EQ(resources.FreeOneOfType(KVRESOURCE_TEXTURE), KV_OK);
    EXPECT_EQ(AsTest(m)->freeDataCalls, 1);
    EXPECT_EQ(resources.FreeOneOfType(KVRESOURCE_TEXTURE), KV_OK);
    EXPECT_EQ(u.freeDataCalls, 1);
    EXPECT_EQ(resources.FreeOneOfType(KVRESOURCE_TEXTURE), KV_NOT_FOUND);
    resources.Release(&u);
    m->Release();
}

TEST_F(KVResourcesTest, FailedLoadsAreReportedAndGiveNothingBack) {
    struct Case {
        const char* name;
        std::string path;
        bool failWithObject;
        int32_t unit;
        std::string message;
    };
    producer.failing = {project + "broken.png"};
    const std::vector<Case> cases = {
        {"unknown extension", project + "a.xyz", false, -1, "Unable to load " + project + "a.xyz:Unknown extension"},
        {"no extension", project + "noext", false, -1, "Unable to load " + project + "noext:Unknown extension"},
        {"producer failure", project + "broken.png", false, -1,
         "Unable to load " + project + "broken.png:There was an error reading resource"},
        {"failure with an object", project + "broken.png", true, -1,
         "Unable to load " + project + "broken.png:There was an error reading resource"},
        {"while a unit loads", project + "a.xyz", false, 7,
         "[Unit Hero7] Unable to load " + project + "a.xyz:Unknown extension"},
    };
    resources.SetUnitNameFunction([](int32_t index) { return "Hero" + std::to_string(index); });
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        log.Clear();
        producer.failWithObject = c.failWithObject;
        resources.SetCurrentUnit(c.unit);
        kvtest::KVTestLoadContext context;
        IKVResource* out = reinterpret_cast<IKVResource*>(&context);
        EXPECT_EQ(resources.Load(c.path.c_str(), &producer, &context, &out, 0), KV_FAILED);
        EXPECT_EQ(out, nullptr);
        ASSERT_EQ(log.Lines().size(), 1u);
        EXPECT_EQ(log.Lines()[0].text, c.message);
        EXPECT_EQ(log.Lines()[0].level, KVLOG_ERROR);
        // The failed object is given back; the context's calls stay paired.
        EXPECT_EQ(KVTestResource::Alive(), 0);
        EXPECT_EQ((context.journal), (std::vector<std::string>{"before", "after"}));
        EXPECT_EQ(resources.GetManagedCount(), 0u);
    }
    EXPECT_EQ(sound.GetUpdateStreamsCalls(), 0);
}

TEST_F(KVResourcesTest, SoundStreamsAreRefilledAfterEverySuccessfulLoad) {
    kvtest::KVTestLoadContext context;
    IKVResource* out = nullptr;
    ASSERT_EQ(resources.Load((project + "a.png").c_str(), &producer, &context, &out, 0), KV_OK);
    EXPECT_EQ(sound.GetUpdateStreamsCalls(), 1);
    EXPECT_EQ((context.journal), (std::vector<std::string>{"before", "after"}));
    IKVResource* again = Load(project + "a.png");  // found, not loaded
    EXPECT_EQ(sound.GetUpdateStreamsCalls(), 1);
    resources.DropAllOfType(KVRESOURCE_TEXTURE);
    resources.Touch(out);  // a reload uses the entry's own context
    EXPECT_EQ(sound.GetUpdateStreamsCalls(), 2);
    EXPECT_EQ(context.journal.size(), 4u);
    out->Release();
    again->Release();
}

TEST_F(KVResourcesTest, AFailedReloadIsTriedAgainAtTheNextUse) {
    IKVResource* a = Load(project + "a.png");
    resources.DropAllOfType(KVRESOURCE_TEXTURE);
    producer.failing = {project + "a.png"};
    resources.Touch(a);
    EXPECT_FALSE(AsTest(a)->HasData());
    EXPECT_EQ(log.Count("Unable to load " + project + "a.png:There was an error reading resource"), 1);
    producer.failing.clear();
    resources.Touch(a);
    EXPECT_TRUE(AsTest(a)->HasData());
    resources.Touch(a);
    EXPECT_EQ(AsTest(a)->loads, 2);
    EXPECT_EQ(KVTestResource::Alive(), 1);
    a->Release();
}

TEST_F(KVResourcesTest, ARebuildRequestLoadsTheSameObjectAgain) {
    IKVResource* a = Load(project + "a.png");
    producer.needsRebuild = 1;
    IKVResource* b = Load(project + "a.png");
    EXPECT_EQ(a, b);
    EXPECT_EQ(AsTest(a)->freeDataCalls, 1);
    EXPECT_EQ(AsTest(a)->loads, 2);
    EXPECT_EQ(AsTest(a)->RefCount(), 2);
    // A failed rebuild hands back nothing and keeps the caller's count right.
    producer.failing = {project + "a.png"};
    EXPECT_EQ(Load(project + "a.png"), nullptr);
    EXPECT_EQ(AsTest(a)->RefCount(), 2);
    a->Release();
    b->Release();
    EXPECT_EQ(KVTestResource::Alive(), 0);
}

TEST_F(KVResourcesTest, FileNamesAreFoundAnywhereUnderTheResourcesDirectory) {
    files.Dir().WriteFile("My Game/resources/sprites/deep/pic.png", "x");
    files.Dir().WriteFile("My Game/resources/.hidden/secret.png", "x");
    files.Dir().WriteFile("My Game/resources/top.png", "x");
    IKVResource* a = Load(project + "somewhere/else/PIC.png");
    IKVResource* hidden = Load(project + "secret.png");
    IKVResource* top = Load(project + "top.png");
    ASSERT_EQ(producer.calls.size(), 3u);
    EXPECT_EQ(producer.calls[0].path, project + "resources/sprites/deep/pic.png");
    EXPECT_EQ(producer.calls[1].path, project + "secret.png");  // "." directories are not entered
    EXPECT_EQ(producer.calls[2].path, project + "resources/top.png");
    // The index is built once per project.
    files.Dir().WriteFile("My Game/resources/late.png", "x");
    IKVResource* late = Load(project + "late.png");
    EXPECT_EQ(producer.calls[3].path, project + "late.png");
    for (IKVResource* r : {a, hidden, top, late}) r->Release();
}

TEST_F(KVResourcesTest, NameIndexEntersDirectoriesAsTheListingMeetsThemAndTheLastMatchWins) {
    kvtest::KVMemoryFile memory;  // lists in name order
    memory.SetFile(project + "resources/a/pic.png", {1});
    memory.SetFile(project + "resources/pic.png", {1});
    memory.SetFile(project + "resources/b/c/tile.png", {1});
    memory.SetFile(project + "resources/d/tile.png", {1});
    // Directory links can loop: the walk stops 32 levels down.
    std::string deep = project + "resources/";
    for (int i = 0; i < 40; ++i) {
        deep += "l/";
        if (i == 31) memory.SetFile(deep + "reached.png", {1});
    }
    memory.SetFile(deep + "beyond.png", {1});
    resources.SetFileInterface(&memory);
    std::vector<IKVResource*> loaded;
    for (const char* name : {"pic.png", "tile.png", "reached.png", "beyond.png"})
        loaded.push_back(Load(project + "x/" + name));
    ASSERT_EQ(producer.calls.size(), 4u);
    EXPECT_EQ(producer.calls[0].path, project + "resources/pic.png");
    EXPECT_EQ(producer.calls[1].path, project + "resources/d/tile.png");
    EXPECT_EQ(producer.calls[2].path.size(), project.size() + 10 + 32 * 2 + 11);
    EXPECT_EQ(producer.calls[3].path, project + "x/beyond.png");
    for (IKVResource* r : loaded) r->Release();
}

TEST_F(KVResourcesTest, AlternativeExtensionsOutsideEditorModeOnly) {
    kvtest::KVTestProducer soundProducer(KVRESOURCE_SOUND);
    kvtest::KVTestReader ogg{"ogg", std::string("wav\0wave\0", 10)};
    resources.RegisterReader(&ogg);
    files.Dir().WriteFile("My Game/Music.ogg", "x");
    IKVResource* a = Load(project + "Music.WAV", 0, &soundProducer);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(soundProducer.calls[0].path, project + "Music.ogg");
    EXPECT_EQ(soundProducer.calls[0].reader, &ogg);
    // No twin on disk: the name stays, and no reader takes "wav".
    EXPECT_EQ(Load(project + "other.wav", 0, &soundProducer), nullptr);
    resources.SetEditorModeOverride(true);
    EXPECT_EQ(Load(project + "Music.wave", 0, &soundProducer), nullptr);
    EXPECT_EQ(log.Count("Unable to load " + project + "music.wave:Unknown extension"), 1);
    a->Release();
}

// The twin of a ".wav" name in any letter case: under the lower-cased name
// every path resolves to (as converted projects store their files), else as
// the caller wrote it.
TEST_F(KVResourcesTest, AlternativeExtensionsInCapitalsFindTheirTwin) {
    kvtest::KVTestProducer soundProducer(KVRESOURCE_SOUND);
    kvtest::KVTestReader ogg{"ogg", std::string("wav\0", 4)};
    resources.RegisterReader(&ogg);
    files.Dir().WriteFile("My Game/music.ogg", "x");
    files.Dir().WriteFile("My Game/Voice.ogg", "x");
    struct Case {
        const char* requested;
        const char* loaded;
    };
    const Case cases[] = {
        {"MUSIC.WAV", "music.ogg"}, {"Music.Wav", "music.ogg"}, {"music.wav", "music.ogg"},
        {"music.WAV", "music.ogg"}, {"Voice.WAV", "Voice.ogg"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.requested);
        soundProducer.calls.clear();
        IKVResource* loaded = Load(project + c.requested, 0, &soundProducer);
        ASSERT_NE(loaded, nullptr);
        ASSERT_EQ(soundProducer.calls.size(), 1u);
        EXPECT_EQ(soundProducer.calls[0].path, project + c.loaded);
        EXPECT_EQ(soundProducer.calls[0].reader, &ogg);
        loaded->Release();
    }
}

TEST_F(KVResourcesTest, ReadersByPathAndSpecialReaders) {
    kvtest::KVTestPathReader byPath("atlas/");
    kvtest::KVTestSpecialReader paks;
    resources.RegisterPathReader(&byPath);
    resources.RegisterSpecialReader(&paks);
    EXPECT_EQ(resources.FindReader((project + "atlas/x.png").c_str()), &byPath);
    EXPECT_EQ(resources.FindReader((project + "x.png").c_str()), &png);
    EXPECT_EQ(resources.FindReader((project + "x.PNG").c_str()), nullptr);  // exact extensions

    paks.supplied = {project + "sheet.tex"};
    IKVResource* a = Load(project + "sheet.tex");
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(producer.calls.back().reader, nullptr);
    a->Release();
}

TEST_F(KVResourcesTest, UnmanagedResultsAreNotListed) {
    producer.reportUnmanaged = true;
    IKVResource* a = Load(project + "a.png");
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->GetManagerIndex(), -1);
    EXPECT_EQ(resources.GetManagedCount(), 0u);
    IKVResource* b = Load(project + "a.png");
    EXPECT_NE(a, b);
    a->Release();
    b->Release();
}

TEST_F(KVResourcesTest, ChangedFilesAreReloadedInEditorModeAboutOncePerSecond) {
    kvtest::KVTestTimedDiskFile timed(files.Base());
    resources.SetFileInterface(&timed);
    timed.SetTime(project + "a.png", 1);
    timed.SetTime(project + "b.png", 1);
    IKVResource* a = Load(project + "a.png", KVRESOURCE_WATCH_FILE);
    IKVResource* b = Load(project + "b.png", KVRESOURCE_WATCH_FILE);
    IKVResource* c = Load(project + "c.png");
    EXPECT_EQ(resources.GetWatchedCount(), 2);

    timed.SetTime(project + "a.png", 2);
    resources.UpdateResources(5.0f);  // not in editor mode
    EXPECT_EQ(AsTest(a)->loads, 1);

    resources.SetEditorModeOverride(true);
    int before = timed.timeQueries;
    resources.UpdateResources(0.3f);  // 2 x 0.3: no file due yet
    EXPECT_EQ(timed.timeQueries, before);
    resources.UpdateResources(0.3f);  // 2 x 0.6: one file
    EXPECT_EQ(timed.timeQueries, before + 1);
    resources.UpdateResources(0.5f);
    EXPECT_EQ(timed.timeQueries, before + 2);
    EXPECT_EQ(AsTest(a)->loads, 2);
    EXPECT_EQ(AsTest(b)->loads, 1);
    EXPECT_EQ(AsTest(c)->loads, 1);
    resources.UpdateResources(10.0f);  // never more than every watched file
    EXPECT_EQ(timed.timeQueries, before + 4);
    EXPECT_EQ(AsTest(a)->loads, 2);

    resources.SetAutoReload(false);
    timed.SetTime(project + "b.png", 3);
    resources.UpdateResources(10.0f);
    EXPECT_EQ(AsTest(b)->loads, 1);
    resources.SetAutoReload(true);
    resources.UpdateResources(1.0f);
    EXPECT_EQ(AsTest(b)->loads, 2);

    a->Release();
    EXPECT_EQ(resources.GetWatchedCount(), 1);
    b->Release();
    c->Release();
    EXPECT_EQ(resources.GetWatchedCount(), 0);
}

TEST_F(KVResourcesTest, LoadsAreTimedAndLoggedWhenAsked) {
    resources.SetLogFlag(true);
    IKVResource* a = Load(project + "a.png");
    ASSERT_EQ(log.Lines().size(), 1u);
    const std::string& line = log.Lines()[0].text;
    EXPECT_EQ(line.rfind("Resources: (", 0), 0u) << line;
    EXPECT_NE(line.find(" us) loading " + project + "a.png"), std::string::npos) << line;
    resources.FreeAllOfType(KVRESOURCE_TEXTURE);  // loaded, never used yet: eligible
    resources.Touch(a);
    KVTestResource u("u", KVRESOURCE_TEXTURE, false);
    resources.AddUnmanaged(&u);
    resources.Release(&u);
    a->Release();
    std::vector<std::string> texts;
    for (size_t i = 1; i < log.Lines().size(); ++i) texts.push_back(log.Lines()[i].text);
    ASSERT_EQ(texts.size(), 6u);
    EXPECT_EQ(texts[0], "Resources: freeing all resources of type 0");
    EXPECT_EQ(texts[1], "Resources: freeing " + project + "a.png");
    EXPECT_EQ(texts[2], "Resources: reloading " + project + "a.png");
    EXPECT_EQ(texts[3].rfind("Resources: (", 0), 0u);
    EXPECT_EQ(texts[4], "Resources: releasing unmanaged resource");
    EXPECT_EQ(texts[5], "Resources: releasing " + project + "a.png");
}

TEST_F(KVResourcesTest, PropertiesAreDeclaredInPhaseTwo) {
    KVProperties properties;
    properties.AddLoadedValue(KVResources::kResourcesDirectoryId, KVPropertyValue::String("res"));
    properties.AddLoadedValue(KVResources::kAutoReloadId, KVPropertyValue::Boolean(false));
    resources.SetLogFlag(true);
    resources.Init(2);
    EXPECT_EQ(resources.GetResourcesDirectory(), "res");
    EXPECT_FALSE(resources.GetLogFlag());
    EXPECT_FALSE(resources.GetAutoReload());
    struct Expected {
        const char* display;
        const char* key;
        int32_t type;
        int32_t editKind;
        uint64_t id;
    };
    const Expected expected[] = {
        {"Resources directory", "ResourcesDirectory", PROPERTY_STRING, 2, 0x001AD016E6A37137ull},
        {"Log", "Log", PROPERTY_BOOLEAN, 0, 0x00205C29835940ACull},
        {"Automatic reload on file change", "AutoReload", PROPERTY_BOOLEAN, 0, 0x002B9E6FA230E3D8ull},
    };
    for (int i = 0; i < 3; ++i) {
        PropertyDescriptor d;
        ASSERT_EQ(properties.GetPropertyAt(i, &d), 0);
        EXPECT_EQ(d.displayName, expected[i].display);
        EXPECT_EQ(d.key, expected[i].key);
        EXPECT_EQ(d.section, "Resources");
        EXPECT_EQ(d.type, expected[i].type);
        EXPECT_EQ(d.editKind, expected[i].editKind);
        EXPECT_EQ(d.id, expected[i].id);
    }
    // Phase 2 empties the reader table.
    EXPECT_EQ(resources.FindReader("x.png"), nullptr);
}

TEST(KVResourcesAlone, AnswersTheManagerInterfaceOnly) {
    KVResources resources;
    EXPECT_EQ(KVResources::Instance(), &resources);
    void* out = nullptr;
    EXPECT_EQ(resources.QueryInterface(IID_IKVResourceManager, &out), KV_OK);
    EXPECT_EQ(out, static_cast<IKVResourceManager*>(&resources));
    out = &out;
    EXPECT_EQ(resources.QueryInterface(IID_IKVFile, &out), KV_NOT_SUPPORTED);
    EXPECT_EQ(out, nullptr);
    // Without a file layer, graphic module or sound manager nothing breaks.
    kvtest::KVTestProducer producer;
    kvtest::KVTestReader png{"png"};
    resources.RegisterReader(&png);
    IKVResource* r = nullptr;
    ASSERT_EQ(resources.Load("a.png", &producer, nullptr, &r, KVRESOURCE_WATCH_FILE), KV_OK);
    resources.DropAllOfType(KVRESOURCE_TEXTURE);
    resources.Touch(r);
    r->Release();
    EXPECT_EQ(resources.Touch(nullptr), KV_OK);
    EXPECT_EQ(resources.Release(static_cast<IKVResource*>(nullptr)), KV_OK);
}
