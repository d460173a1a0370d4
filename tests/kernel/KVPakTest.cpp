#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "kernel/KVLog.h"
#include "kernel/KVPak.h"
#include "kernel/KVProperties.h"
#include "support/KVFileTestSupport.h"
#include "support/KVMemoryFile.h"
#include "support/KVPakFileFuzz.h"
#include "support/KVPakWriter.h"
#include "support/KVTestDiskFile.h"
#include "support/KVTestLog.h"
#include "support/KVTestThreadFactory.h"

using namespace kvl;
using kvtest::KVPakDescriptorEntry;
using kvtest::KVPakWriter;

namespace {

// Random bytes, or a text that compresses well.
std::string Bytes(size_t n, uint32_t seed, bool compressible = false) {
    std::mt19937 rng(seed);
    std::string s(n, '\0');
    for (size_t i = 0; i < n; ++i) s[i] = compressible ? char('a' + rng() % 4) : char(rng() & 0xff);
    return s;
}

// A project directory "game/" in a fresh working directory, read through a
// pak layer in front of the platform file layer.
class KVPakTest : public ::testing::Test {
protected:
    void SetUp() override {
        log.Install();
        project = files.Base() + "game/";
        pak.SetPlatformFile(&files.Files());
        pak.Init(0);
    }

    void WriteFile(const std::string& relative, const std::string& content) {
        files.Dir().WriteFile("game/" + relative, content);
    }
    void WritePak(const std::string& name, KVPakWriter& writer, bool compressed) {
        WriteFile("paks/" + name + ".kvpak", writer.Build(compressed));
    }
    void WriteDescriptor(const std::vector<KVPakDescriptorEntry>& entries) {
        WriteFile("paks/paks.kvpakdesc", kvtest::BuildPakDescriptor(entries));
    }
    // One pak loaded with the project.
    void StartWith(KVPakWriter& writer, bool compressed, const std::string& name = "main") {
        WritePak(name, writer, compressed);
        WriteDescriptor({{name, true, compressed, ""}});
        pak.SetBasePath(project);
    }

    // The same data loaded twice: stored as "s.bin" and compressed as "c.bin".
    void StartStoredAndPacked(const std::string& data) {
        KVPakWriter stored, packed;
        stored.Add("s.bin", data);
        packed.Add("c.bin", data);
        WritePak("stored", stored, false);
        WritePak("packed", packed, true);
        WriteDescriptor({{"stored", true, false, ""}, {"packed", true, true, ""}});
        pak.SetBasePath(project);
    }

    KVFileHandle OpenRead(const std::string& path) {
        KVFileHandle h = nullptr;
        if (pak.Open(path.c_str(), KVFILE_READ, &h) != KV_OK) return nullptr;
        return h;
    }

    // Reads to the end in pieces of the given size.
    std::string ReadRest(KVFileHandle h, uint32_t piece = 4096) {
        std::string out;
        std::vector<char> buffer(piece);
        for (;;) {
            uint32_t got = 0;
            if (pak.Read(h, buffer.data(), piece, &got) != KV_OK || got == 0) break;
            out.append(buffer.data(), got);
        }
        return out;
    }

    std::string ReadFile(const std::string& path) {
        KVFileHandle h = OpenRead(path);
        if (!h) return "<missing>";
        std::string data = ReadRest(h);
        pak.Close(h);
        return data;
    }

    kvtest::PlatformFileLayer files;
    kvtest::KVTestLog log;
    KVPak pak;
    std::string project;
};

} // namespace

TEST_F(KVPakTest, PakFilesComeBeforePlainFilesAndMissingOnesFallBack) {
    KVPakWriter w;
    w.Add("data/a.txt", "from the pak");
    WriteFile("data/a.txt", "from the disk");
    WriteFile("data/b.txt", "only on disk");
    StartWith(w, false);
    ASSERT_EQ(pak.GetLoadedPakCount(), 1u);

    KVFileHandle h = OpenRead(project + "data/a.txt");
    ASSERT_NE(h, nullptr);
    EXPECT_TRUE(pak.OwnsHandle(h));
    EXPECT_EQ(ReadRest(h), "from the pak");
    EXPECT_EQ(pak.Close(h), KV_OK);

    h = OpenRead(project + "data/b.txt");
    ASSERT_NE(h, nullptr);
    EXPECT_FALSE(pak.OwnsHandle(h));
    EXPECT_EQ(ReadRest(h), "only on disk");
    EXPECT_EQ(pak.Close(h), KV_OK);

    KVFileHandle none = &h;
    EXPECT_EQ(pak.Open((project + "data/c.txt").c_str(), KVFILE_READ, &none), KV_OPEN_READ_FAILED);
    EXPECT_EQ(none, nullptr);
    // Questions about files are the platform layer's: it sees plain files only.
    EXPECT_EQ(pak.Exists((project + "data/a.txt").c_str()), 1);
    EXPECT_EQ(pak.Exists((project + "paks/../data/x.txt").c_str()), 0);
}

TEST_F(KVPakTest, NamesAreFoundWhateverTheirLetterCase) {
    KVPakWriter w;
    w.Add("data/a.png", "image");
    StartWith(w, true);

    std::string upperProject = project;
    std::transform(upperProject.begin(), upperProject.end(), upperProject.begin(), ::toupper);
    for (const std::string& path :
         {project + "Data\\A.PNG", project + "DATA/a.Png", upperProject + "data/a.png", std::string("data/A.png")}) {
        SCOPED_TRACE(path);
        KVFileHandle h = OpenRead(path);
        ASSERT_NE(h, nullptr);
        EXPECT_TRUE(pak.OwnsHandle(h));
        EXPECT_EQ(ReadRest(h), "image");
        pak.Close(h);
    }

    // Writing goes to the platform layer even for a path a pak holds.
    files.Dir().WriteFile("game/data/.keep", "");
    KVFileHandle h = nullptr;
    ASSERT_EQ(pak.Open((project + "data/a.png").c_str(), KVFILE_WRITE, &h), KV_OK);
    EXPECT_FALSE(pak.OwnsHandle(h));
    EXPECT_EQ(pak.Write(h, "disk", 4, nullptr, 0), KV_OK);
    pak.Close(h);
    EXPECT_EQ(files.Dir().ReadFile("game/data/a.png"), "disk");
    EXPECT_EQ(ReadFile(project + "data/a.png"), "image");
}

TEST_F(KVPakTest, FirstLoadedPakWins) {
    KVPakWriter first, second;
    first.Add("x.txt", "first");
    second.Add("x.txt", "second").Add("y.txt", "only second");
    WritePak("one", first, false);
    WritePak("two", second, true);
    WriteDescriptor({{"one", true, false, ""}, {"two", true, true, ""}});
    pak.SetBasePath(project);
    EXPECT_EQ(ReadFile(project + "x.txt"), "first");
    EXPECT_EQ(ReadFile(project + "y.txt"), "only second");
}

TEST_F(KVPakTest, EntriesReadBackByteIdentical) {
    // Sizes around and well past every buffer: zlib's window, the seek scratch.
    const std::vector<std::pair<std::string, std::string>> entries = {
        {"empty.bin", ""},
        {"one.bin", "x"},
        {"page.bin", Bytes(4095, 1)},
        {"pageplus.bin", Bytes(4097, 2)},
        {"random.bin", Bytes(70000, 3)},
        {"deep/dir/text.txt", Bytes(300000, 4, true)},
    };
    KVPakWriter stored, packed;
    for (const auto& e : entries) {
        stored.Add("s/" + e.first, e.second);
        packed.Add("c/" + e.first, e.second);
    }
    WritePak("stored", stored, false);
    WritePak("packed", packed, true);
    WriteDescriptor({{"stored", true, false, ""}, {"packed", true, true, ""}});
    pak.SetBasePath(project);
    ASSERT_EQ(pak.GetLoadedPakCount(), 2u);
    for (uint32_t piece : {1u, 777u, 65536u, 1u << 20}) {
        for (const auto& e : entries) {
            if (piece == 1 && e.second.size() > 5000) continue;
            for (const char* prefix : {"s/", "c/"}) {
                SCOPED_TRACE(::testing::Message() << prefix << e.first << " in pieces of " << piece);
                KVFileHandle h = OpenRead(project + prefix + e.first);
                ASSERT_NE(h, nullptr);
                EXPECT_TRUE(pak.OwnsHandle(h));
                EXPECT_EQ(pak.GetSize(h), e.second.size());
                std::string got = ReadRest(h, piece);
                EXPECT_TRUE(got == e.second) << got.size() << " bytes read";
                EXPECT_EQ(pak.IsEOF(h), 1);
                pak.Close(h);
            }
        }
    }
}

TEST_F(KVPakTest, ReadsStartingMidEntryAfterASeek) {
    const std::string data = Bytes(200000, 7, true) + Bytes(50000, 8);
    StartStoredAndPacked(data);

    struct Step {
        int32_t offset;
        int32_t origin;
        uint32_t expected;  // position after the seek
    };
    const std::vector<Step> steps = {
        {123457, 0, 123457},
        {1000, 1, 127457},  // each step reads 3000 bytes after its seek
        {100, 2, uint32_t(data.size()) - 100},  // a positive offset counts back from the end
        {5, 0, 5},                              // backwards: a compressed entry starts again
        {-3, 1, 3002},
        {int32_t(data.size()) + 10, 0, uint32_t(data.size())},  // kept within the entry
    };
    for (const char* name : {"s.bin", "c.bin"}) {
        SCOPED_TRACE(name);
        KVFileHandle h = OpenRead(project + name);
        ASSERT_NE(h, nullptr);
        for (const Step& s : steps) {
            ASSERT_EQ(pak.Seek(h, s.offset, s.origin), KV_OK);
            ASSERT_EQ(uint32_t(pak.Tell(h)), s.expected);
            char buffer[3000];
            uint32_t got = 0;
            uint32_t want = std::min<uint32_t>(sizeof buffer, uint32_t(data.size()) - s.expected);
            // At the end the read gives nothing and fails.
            ASSERT_EQ(pak.Read(h, buffer, sizeof buffer, &got), want ? KV_OK : KV_READ_FAILED);
            ASSERT_EQ(got, want);
            EXPECT_EQ(std::string(buffer, got), data.substr(s.expected, got));
        }
        pak.Close(h);
    }
}

TEST_F(KVPakTest, ReadNearTheEndStoresWhatIsLeft) {
    const std::string data = Bytes(1000, 9);
    StartStoredAndPacked(data);
    for (const char* name : {"s.bin", "c.bin"}) {
        SCOPED_TRACE(name);
        KVFileHandle h = OpenRead(project + name);
        ASSERT_NE(h, nullptr);
        ASSERT_EQ(pak.Seek(h, 990, 0), KV_OK);
        EXPECT_EQ(pak.IsEOF(h), 0);
        char buffer[100];
        uint32_t got = 1234;
        EXPECT_EQ(pak.Read(h, buffer, 100, &got), KV_OK);
        EXPECT_EQ(got, 10u);
        EXPECT_EQ(std::string(buffer, 10), data.substr(990));
        EXPECT_EQ(pak.IsEOF(h), 1);
        EXPECT_EQ(pak.Tell(h), 1000);
        // At the end a read gives nothing and fails, as on the platform
        // layer; so does a read of no bytes anywhere.
        got = 1234;
        EXPECT_EQ(pak.Read(h, buffer, 100, &got), KV_READ_FAILED);
        EXPECT_EQ(got, 0u);
        ASSERT_EQ(pak.Seek(h, 10, 0), KV_OK);
        got = 1234;
        EXPECT_EQ(pak.Read(h, buffer, 0, &got), KV_READ_FAILED);
        EXPECT_EQ(got, 0u);
        EXPECT_EQ(pak.Tell(h), 10);
        pak.Close(h);
    }
}

// Both layers answer every read alike, the end of the file included: the
// same file on disk and in a stored and a compressed pak, read in runs of
// counts that meet the end at different places.
TEST_F(KVPakTest, EveryReadAnswersAsThePlatformLayerDoes) {
    const std::vector<std::string> contents = {"", "x", "ab\r\ncd\n", Bytes(5000, 3, true)};
    const std::vector<std::vector<uint32_t>> runs = {
        {1, 1, 1, 1}, {0, 3, 0, 100, 1, 0}, {4096, 4096, 4096}, {7, 7, 7, 7, 7, 7, 7}};
    KVPakWriter stored, packed;
    for (size_t c = 0; c < contents.size(); ++c) {
        const std::string name = std::to_string(c) + ".bin";
        WriteFile("plain" + name, contents[c]);
        stored.Add("s" + name, contents[c]);
        packed.Add("c" + name, contents[c]);
    }
    WritePak("stored", stored, false);
    WritePak("packed", packed, true);
    WriteDescriptor({{"stored", true, false, ""}, {"packed", true, true, ""}});
    pak.SetBasePath(project);
    for (size_t c = 0; c < contents.size(); ++c) {
        for (const std::vector<uint32_t>& run : runs) {
            SCOPED_TRACE("content " + std::to_string(c) + ", run of " + std::to_string(run.size()));
            std::vector<std::string> answers;
            for (const char* form : {"plain", "s", "c"}) {
                KVFileHandle h = OpenRead(project + form + std::to_string(c) + ".bin");
                ASSERT_NE(h, nullptr) << form;
                EXPECT_EQ(pak.OwnsHandle(h), std::string(form) != "plain");
                std::string answer;
                std::vector<char> buffer(4096);
                for (uint32_t count : run) {
                    uint32_t got = 1234;
                    const int32_t status = pak.Read(h, buffer.data(), count, &got);
                    answer += std::to_string(status) + ":" + std::to_string(got) + ":" +
                              std::string(buffer.data(), std::min<uint32_t>(got, count)) + " eof " +
                              std::to_string(pak.IsEOF(h)) + "; ";
                }
                pak.Close(h);
                answers.push_back(answer);
            }
            EXPECT_EQ(answers[1], answers[0]);
            EXPECT_EQ(answers[2], answers[0]);
        }
    }
}

TEST_F(KVPakTest, AThirtyThirdOpenFallsBackToThePlatformLayer) {
    KVPakWriter w;
    w.Add("a.txt", "pak");
    WriteFile("a.txt", "disk");
    StartWith(w, true);
    std::vector<KVFileHandle> handles;
    for (int i = 0; i < KVPak::kHandleCount; ++i) {
        KVFileHandle h = OpenRead(project + "a.txt");
        ASSERT_NE(h, nullptr);
        EXPECT_TRUE(pak.OwnsHandle(h));
        handles.push_back(h);
    }
    KVFileHandle extra = OpenRead(project + "a.txt");
    ASSERT_NE(extra, nullptr);
    EXPECT_FALSE(pak.OwnsHandle(extra));
    EXPECT_EQ(ReadRest(extra), "disk");
    pak.Close(extra);

    // A freed slot is used again.
    pak.Close(handles.back());
    handles.pop_back();
    EXPECT_EQ(ReadFile(project + "a.txt"), "pak");
    for (KVFileHandle h : handles) EXPECT_EQ(pak.Close(h), KV_OK);
    // A slot closed twice is refused.
    EXPECT_EQ(pak.Close(handles.front()), KV_INVALID);
}

TEST_F(KVPakTest, UnloadingAPakKeepsHandlesOnOtherPaksOnTheirData) {
    const std::string first = Bytes(50000, 10, true);
    const std::string second = Bytes(50000, 11, true);
    KVPakWriter a, b, c;
    a.Add("a.bin", first);
    b.Add("b.bin", second);
    c.Add("c.bin", "third");
    WritePak("a", a, true);
    WritePak("b", b, true);
    WritePak("c", c, false);
    WriteDescriptor({{"a", false, true, "scene"}, {"b", false, true, ""}, {"c", false, false, ""}});
    pak.SetBasePath(project);
    pak.LoadScenePaks("scene");  // temporary
    ASSERT_EQ(pak.LoadPakFile(1, false), KV_OK);
    ASSERT_EQ(pak.LoadPakFile(2, false), KV_OK);
    ASSERT_EQ(pak.GetLoadedPakCount(), 3u);

    KVFileHandle ha = OpenRead(project + "a.bin");
    KVFileHandle hb = OpenRead(project + "b.bin");
    KVFileHandle hc = OpenRead(project + "c.bin");
    ASSERT_TRUE(ha && hb && hc);
    char buffer[1000];
    uint32_t got = 0;
    ASSERT_EQ(pak.Read(hb, buffer, 1000, &got), KV_OK);

    pak.ReleaseTemporaryPaks();
    ASSERT_EQ(pak.GetLoadedPakCount(), 2u);

    // The later paks moved down a place; their handles still read their own bodies.
    EXPECT_EQ(ReadRest(hb), second.substr(1000));
    EXPECT_EQ(ReadRest(hc), "third");
    // The handle into the unloaded pak reads on until it is closed, and
    // seeks in it.
    EXPECT_EQ(pak.Seek(ha, 10, 0), KV_OK);
    EXPECT_EQ(ReadRest(ha), first.substr(10));
    EXPECT_EQ(pak.IsEOF(ha), 1);
    EXPECT_EQ(pak.Close(ha), KV_OK);
    EXPECT_EQ(pak.Close(hb), KV_OK);
    EXPECT_EQ(pak.Close(hc), KV_OK);
    // The unloaded pak's file is no longer found; it is there again once loaded.
    EXPECT_EQ(ReadFile(project + "a.bin"), "<missing>");
    pak.LoadScenePaks("scene");
    EXPECT_EQ(ReadFile(project + "a.bin"), first);
}

TEST_F(KVPakTest, DescriptorDecidesWhichPaksLoadAndWhen) {
    KVPakWriter p1, p2, p3;
    p1.Add("p1.txt", "1");
    p2.Add("p2.txt", "2");
    p3.Add("p3.txt", "3");
    WritePak("project", p1, false);
    WritePak("level", p2, true);
    WritePak("extra", p3, false);
    WriteDescriptor({{"project", true, false, ""}, {"level", false, true, "Level1"}, {"extra", false, false, ""}});
    pak.SetBasePath(project);
    ASSERT_EQ(pak.GetDescriptorRecords().size(), 3u);
    EXPECT_EQ(pak.GetDescriptorRecords()[1].group, "Level1");
    EXPECT_EQ(pak.GetLoadedPakCount(), 1u);
    EXPECT_EQ(ReadFile(project + "p1.txt"), "1");

    pak.LoadScenePaks("level1");  // groups compare exactly
    EXPECT_EQ(pak.GetLoadedPakCount(), 1u);
    pak.LoadScenePaks("Level1");
    EXPECT_EQ(pak.GetLoadedPakCount(), 2u);
    EXPECT_EQ(ReadFile(project + "p2.txt"), "2");
    EXPECT_EQ(pak.LoadPakFile(2, false), KV_OK);
    EXPECT_EQ(pak.LoadPakFile(2, false), KV_OK);  // already loaded: nothing
    EXPECT_EQ(pak.GetLoadedPakCount(), 3u);

    // Paks loaded with the project or a group are temporary.
    pak.ReleaseTemporaryPaks();
    EXPECT_EQ(pak.GetLoadedPakCount(), 1u);
    EXPECT_EQ(pak.FindLoadedPak(2), 0);
    EXPECT_EQ(ReadFile(project + "p1.txt"), "<missing>");
    EXPECT_EQ(ReadFile(project + "p3.txt"), "3");

    // Only the first base path of a run counts.
    pak.SetBasePath(files.Base());
    EXPECT_EQ(pak.GetBasePath(), project);
    EXPECT_EQ(pak.GetDescriptorRecords().size(), 3u);

    // A pak file that does not open.
    std::remove((project + "paks/level.kvpak").c_str());
    EXPECT_EQ(pak.LoadPakFile(1, false), KV_FAILED);
}

TEST_F(KVPakTest, NoDescriptorMeansNoPaksAndNoMessage) {
    pak.SetBasePath(project);
    EXPECT_TRUE(pak.GetDescriptorRecords().empty());
    EXPECT_TRUE(log.Lines().empty());
    WriteFile("a.txt", "plain");
    EXPECT_EQ(ReadFile(project + "a.txt"), "plain");
}

TEST_F(KVPakTest, DescriptorTextsAreBoundedByTheirFields) {
    std::string longName(40, 'n');
    std::string longGroup(40, 'g');
    WriteDescriptor({{longName, false, true, longGroup}});
    pak.SetBasePath(project);
    ASSERT_EQ(pak.GetDescriptorRecords().size(), 1u);
    EXPECT_EQ(pak.GetDescriptorRecords()[0].name, std::string(30, 'n'));
    EXPECT_EQ(pak.GetDescriptorRecords()[0].group, std::string(32, 'g'));
    EXPECT_TRUE(pak.GetDescriptorRecords()[0].compressed);
    EXPECT_FALSE(pak.GetDescriptorRecords()[0].loadWithProject);
}

namespace {

struct DescriptorCase {
    const char* name;
    std::function<std::string()> bytes;
};

} // namespace

TEST_F(KVPakTest, MalformedDescriptorsAreRejected) {
    const std::string good = kvtest::BuildPakDescriptor({{"main", true, false, ""}, {"two", false, false, ""}});
    const std::vector<DescriptorCase> cases = {
        {"wrong magic", [&] { std::string b = good; b[0] = 'X'; return b; }},
        {"version 2", [&] { std::string b = good; b[4] = 2; return b; }},
        {"empty file", [] { return std::string(); }},
        {"head cut short", [&] { return good.substr(0, 6); }},
        {"records cut short", [&] { return good.substr(0, good.size() - 1); }},
        {"absurd count", [&] { std::string b = good; b[6] = char(0xff); b[7] = char(0xff); return b; }},
    };
    KVPakWriter w;
    w.Add("a.txt", "pak");
    WritePak("main", w, false);
    for (const DescriptorCase& c : cases) {
        SCOPED_TRACE(c.name);
        log.Clear();
        KVPak layer;
        layer.SetPlatformFile(&files.Files());
        WriteFile("paks/paks.kvpakdesc", c.bytes());
        layer.SetBasePath(project);
        EXPECT_TRUE(layer.GetDescriptorRecords().empty());
        EXPECT_EQ(layer.GetLoadedPakCount(), 0u);
        EXPECT_EQ(log.Count("Pak file descriptor is invalid", KVLOG_ERROR), 1);
    }
    // Version 0 and 1 are both read.
    for (char version : {0, 1}) {
        KVPak layer;
        layer.SetPlatformFile(&files.Files());
        std::string b = good;
        b[4] = version;
        WriteFile("paks/paks.kvpakdesc", b);
        layer.SetBasePath(project);
        EXPECT_EQ(layer.GetDescriptorRecords().size(), 2u);
    }
}

namespace {

struct PakCase {
    const char* name;
    bool compressed;
    // Changes a well-formed pak file.
    std::function<void(std::string*, const KVPakWriter&)> damage;
};

void PatchWord(std::string* file, uint32_t word, uint32_t value) {
    kvtest::PutU32(file, KVPakWriter::kHeadSize + size_t(word) * 4, value);
}

uint32_t BodyWord(const std::string& file, uint32_t word) {
    return kvtest::GetU32(file, KVPakWriter::kHeadSize + size_t(word) * 4);
}

} // namespace

TEST_F(KVPakTest, MalformedPaksAreRejectedAndPlainFilesServed) {
    const std::vector<PakCase> cases = {
        {"wrong magic", false, [](std::string* f, const KVPakWriter&) { (*f)[3] = 'X'; }},
        {"wrong version", false, [](std::string* f, const KVPakWriter&) { kvtest::PutU32(f, 4, 0x00010000); }},
        {"shorter than its head", false, [](std::string* f, const KVPakWriter&) { f->resize(20); }},
        {"directory cut short", false, [](std::string* f, const KVPakWriter&) { f->resize(KVPakWriter::kHeadSize + 6); }},
        {"trie cycle", false,
         [](std::string* f, const KVPakWriter&) {
             // The root's first node ("s" of "sub/...") leads back to the root list.
             PatchWord(f, 0, BodyWord(*f, 0) & ~KVPakArchive::kChildMask);
         }},
        {"child link out of range", true,
         [](std::string* f, const KVPakWriter&) { PatchWord(f, 0, BodyWord(*f, 0) | KVPakArchive::kChildMask); }},
        {"sibling list runs off the body", false,
         [](std::string* f, const KVPakWriter& w) {
             // Every directory word claims another sibling after it.
             for (uint32_t i = 0; i < w.DirectoryWords(); ++i) {
                 uint32_t v = BodyWord(*f, i);
                 if ((v >> 24) != 0) PatchWord(f, i, v | KVPakArchive::kHasSibling);
             }
             f->resize(KVPakWriter::kHeadSize + w.DirectoryWords() * 4);
         }},
        {"payload outside the body", false,
         [](std::string* f, const KVPakWriter& w) { PatchWord(f, w.Layout().at("top.txt").nodeWord + 1, 0xfffffff0u); }},
        {"content offset outside the body", false,
         [](std::string* f, const KVPakWriter& w) {
             kvtest::PutU32(f, KVPakWriter::kHeadSize + w.Layout().at("top.txt").recordOffset, 0xffffff00u);
         }},
        {"content size past the body", false,
         [](std::string* f, const KVPakWriter& w) {
             uint32_t body = uint32_t(f->size()) - KVPakWriter::kHeadSize;
             const auto& l = w.Layout().at("sub/data.bin");
             kvtest::PutU32(f, KVPakWriter::kHeadSize + l.recordOffset + 4, body - l.contentOffset + 1);
         }},
        {"compressed length past the body", true,
         [](std::string* f, const KVPakWriter& w) {
             kvtest::PutU32(f, KVPakWriter::kHeadSize + w.Layout().at("sub/data.bin").contentOffset, 0x7fffffffu);
         }},
        {"body cut inside a content", false, [](std::string* f, const KVPakWriter&) { f->resize(f->size() - 10); }},
    };
    WriteFile("sub/data.bin", "plain");
    for (const PakCase& c : cases) {
        SCOPED_TRACE(c.name);
        log.Clear();
        KVPakWriter w;
        w.Add("sub/data.bin", Bytes(5000, 12)).Add("top.txt", "top");
        std::string file = w.Build(c.compressed);
        c.damage(&file, w);
        WriteFile("paks/main.kvpak", file);
        WriteDescriptor({{"main", true, c.compressed, ""}});
        KVPak layer;
        layer.SetPlatformFile(&files.Files());
        layer.SetBasePath(project);
        EXPECT_EQ(layer.GetLoadedPakCount(), 0u);
        EXPECT_EQ(log.Count("Invalid pak file", KVLOG_ERROR), 1);
        KVFileHandle h = nullptr;
        ASSERT_EQ(layer.Open((project + "sub/data.bin").c_str(), KVFILE_READ, &h), KV_OK);
        EXPECT_FALSE(layer.OwnsHandle(h));
        layer.Close(h);
        EXPECT_EQ(layer.Open((project + "top.txt").c_str(), KVFILE_READ, &h), KV_OPEN_READ_FAILED);
        // The script call still succeeds: the pak stays unloaded.
        EXPECT_EQ(layer.LoadPakFile(0, false), KV_OK);
        EXPECT_EQ(layer.GetLoadedPakCount(), 0u);
    }
}

TEST_F(KVPakTest, EmptyPakHoldsNothing) {
    KVPakWriter w;
    StartWith(w, true);
    EXPECT_EQ(pak.GetLoadedPakCount(), 1u);
    EXPECT_TRUE(log.Lines().empty());
    WriteFile("a.txt", "plain");
    EXPECT_EQ(ReadFile(project + "a.txt"), "plain");
}

TEST_F(KVPakTest, DamagedCompressedEntryReportsAReadFailure) {
    const std::string data = Bytes(100000, 13, true);
    KVPakWriter w;
    w.Add("bad.bin", data).Add("short.bin", data).Add("good.bin", data);
    std::string file = w.Build(true);
    // Garbage in the middle of one stream.
    const auto& bad = w.Layout().at("bad.bin");
    for (uint32_t i = 0; i < 64; ++i) file[KVPakWriter::kHeadSize + bad.contentOffset + 4 + bad.storedLength / 2 + i] ^= 0x5a;
    // A record promising more bytes than the stream holds.
    kvtest::PutU32(&file, KVPakWriter::kHeadSize + w.Layout().at("short.bin").recordOffset + 4, 100500);
    WriteFile("paks/main.kvpak", file);
    WriteDescriptor({{"main", true, true, ""}});
    pak.SetBasePath(project);
    ASSERT_EQ(pak.GetLoadedPakCount(), 1u);

    KVFileHandle h = OpenRead(project + "bad.bin");
    ASSERT_NE(h, nullptr);
    std::string buffer(data.size(), '\0');
    uint32_t got = 0;
    EXPECT_EQ(pak.Read(h, &buffer[0], uint32_t(data.size()), &got), KV_READ_FAILED);
    EXPECT_LT(got, data.size());
    EXPECT_EQ(uint32_t(pak.Tell(h)), got);
    EXPECT_EQ(pak.Read(h, &buffer[0], 10, &got), KV_READ_FAILED);
    EXPECT_EQ(got, 0u);
    pak.Close(h);

    h = OpenRead(project + "short.bin");
    ASSERT_NE(h, nullptr);
    buffer.assign(100500, '\0');
    EXPECT_EQ(pak.Read(h, &buffer[0], 100500, &got), KV_READ_FAILED);
    EXPECT_EQ(got, data.size());
    EXPECT_EQ(buffer.substr(0, got), data);
    EXPECT_NE(pak.Seek(h, 100400, 0), KV_OK);
    pak.Close(h);

    EXPECT_EQ(ReadFile(project + "good.bin"), data);
}

TEST_F(KVPakTest, ListingWalksThePaksThenThePlainDirectory) {
    KVPakWriter w;
    w.Add("a.txt", "1").Add("sub/b.txt", "2").Add("sub/deep/c.txt", "3").Add("sub/d.png", "4").Add("e.png", "5");
    WriteFile("a.txt", "disk");
    WriteFile("f.txt", "disk");
    StartWith(w, false);

    auto list = [&](const std::string& pattern) {
        std::vector<std::pair<std::string, uint32_t>> out;
        FileFindData data;
        KVFindHandle find = pak.FindFirst(pattern.c_str(), &data);
        if (!find) return out;
        do out.emplace_back(data.name, data.attributes);
        while (pak.FindNext(find, &data) == KV_OK);
        pak.FindClose(find);
        return out;
    };

    // "*" crosses directories; pak matches first, then the disk's (in its order).
    auto txt = list(project + "*.txt");
    ASSERT_EQ(txt.size(), 5u);
    EXPECT_EQ(txt[0], std::make_pair(std::string("a.txt"), 1u));
    EXPECT_EQ(txt[1], std::make_pair(std::string("b.txt"), 1u));
    EXPECT_EQ(txt[2], std::make_pair(std::string("c.txt"), 1u));
    std::set<std::string> disk = {txt[3].first, txt[4].first};
    EXPECT_EQ(disk, (std::set<std::string>{"a.txt", "f.txt"}));

    // A star-final pattern lists directories without entering them.
    auto all = list(project + "sub/*");
    std::vector<std::pair<std::string, uint32_t>> expected = {{"b.txt", 1u}, {"deep", 3u}, {"d.png", 1u}};
    EXPECT_EQ(all, expected);

    auto top = list(project + "*");
    ASSERT_GE(top.size(), 3u);
    EXPECT_EQ(top[0], std::make_pair(std::string("a.txt"), 1u));
    EXPECT_EQ(top[1], std::make_pair(std::string("sub"), 3u));
    EXPECT_EQ(top[2], std::make_pair(std::string("e.png"), 1u));

    // "?" takes one character: it does not reach into sub/.
    auto q = list(project + "?.png");
    ASSERT_EQ(q.size(), 1u);
    EXPECT_EQ(q[0].first, "e.png");
    auto png = list(project + "*.png");
    ASSERT_EQ(png.size(), 2u);
    EXPECT_EQ(png[0].first, "d.png");
    EXPECT_EQ(png[1].first, "e.png");

    EXPECT_TRUE(list(project + "nothing*").empty());
    EXPECT_EQ(pak.FindFirst(project.c_str(), nullptr), nullptr);  // empty relative pattern

    // A pak unloaded during a listing ends its part of the walk.
    FileFindData data;
    KVFindHandle find = pak.FindFirst((project + "*.txt").c_str(), &data);
    ASSERT_NE(find, nullptr);
    EXPECT_EQ(data.name, "a.txt");
    pak.UnloadPakAt(0);
    std::set<std::string> rest;
    while (pak.FindNext(find, &data) == KV_OK) rest.insert(data.name);
    pak.FindClose(find);
    EXPECT_EQ(rest, (std::set<std::string>{"a.txt", "f.txt"}));
    EXPECT_EQ(pak.FindNext(find, &data), KV_NOT_FOUND);  // closed
}

// Directory listings of a pak whose sibling lists repeat characters and
// whose names hold NUL, "*" or "?": a walk that lists each directory it is
// given (as a script walks a game's folders) ends, meets each directory
// once, and lists only what a lookup finds again.
TEST_F(KVPakTest, WalkingEveryListedDirectoryEnds) {
    struct Case {
        const char* name;
        std::vector<std::string> shared, unshared;
        std::vector<std::string> listed;  // every name the walk met, with its directory
        std::vector<std::string> opened;  // the files among them that open
    };
    const std::string nul(1, '\0');
    const std::vector<Case> cases = {
        {"Plain", {"d/x", "d/e/y", "z"}, {}, {"d/", "z", "d/x", "d/e/", "d/e/y"}, {"z", "d/x", "d/e/y"}},
        // The second "d" and everything below it cannot be looked up.
        {"RepeatedDirectory", {}, {"d/x", "d/y", "d/e/z"}, {"d/", "d/x"}, {"d/x"}},
        {"RepeatedSlash", {"d/x"}, {"d/y"}, {"d/", "d/x"}, {"d/x"}},
        // A directory named with a NUL lists as its name's part before it,
        // one named with a wildcard lists more than itself.
        {"NulInNames", {"a" + nul + "/b", "c" + nul, "f"}, {}, {"f"}, {"f"}},
        {"WildcardDirectories", {"*/b", "?/c", "x*y/d", "f?.txt"}, {}, {"f?.txt"}, {"f?.txt"}},
        // The fuzzed pak's shape: a directory "*" + NUL under the root,
        // with runs of slashes repeated below it.
        {"FuzzedShape",
         {"a", "**" + nul + "/b"},
         {"*" + nul + "//////x", "*" + nul + "//////x", "*" + nul + "/./x", "*" + nul + "/.//x"},
         {"a"},
         {"a"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        KVPakWriter w;
        for (const std::string& path : c.shared) w.Add(path, "s");
        for (const std::string& path : c.unshared) w.AddUnshared(path, "u");
        KVPak layer;
        kvtest::KVMemoryFile memory;
        layer.SetPlatformFile(&memory);
        const std::string built = w.Build(false);
        memory.SetFile("game/paks/main.kvpak", reinterpret_cast<const uint8_t*>(built.data()), built.size());
        const std::string descriptor = kvtest::BuildPakDescriptor({{"main", true, false, ""}});
        memory.SetFile("game/paks/paks.kvpakdesc", reinterpret_cast<const uint8_t*>(descriptor.data()),
                       descriptor.size());
        layer.SetBasePath("game/");

        std::vector<std::string> listed, opened;
        std::vector<std::string> pending = {""};
        // Far more listings than any case has directories: a walk that
        // goes round stops here and fails.
        for (int listings = 0; !pending.empty() && listings < 1000; ++listings) {
            const std::string directory = pending.front();
            pending.erase(pending.begin());
            FileFindData data;
            KVFindHandle find = layer.FindFirst(("game/" + directory + "*").c_str(), &data);
            if (!find) continue;
            do {
                if (data.attributes & KVFILE_ATTR_DIRECTORY) {
                    // The paks' own plain directory is not the pak's.
                    if (directory.empty() && data.name == "paks") continue;
                    listed.push_back(directory + data.name + "/");
                    pending.push_back(listed.back());
                    continue;
                }
                listed.push_back(directory + data.name);
                KVFileHandle h = nullptr;
                if (layer.Open(("game/" + listed.back()).c_str(), KVFILE_READ, &h) == KV_OK && h) {
                    opened.push_back(listed.back());
                    layer.Close(h);
                }
            } while (layer.FindNext(find, &data) == KV_OK);
            layer.FindClose(find);
        }
        EXPECT_TRUE(pending.empty());
        EXPECT_EQ(listed, c.listed);
        EXPECT_EQ(opened, c.opened);
    }
}

TEST_F(KVPakTest, UnpackedFilesAreLoggedExceptTheLogsOwnFile) {
    WriteFile("plain.txt", "x");
    KVPakWriter w;
    w.Add("packed.txt", "y");
    StartWith(w, false);
    ReadFile(project + "plain.txt");
    EXPECT_TRUE(log.Lines().empty());

    pak.SetLogUnpackedFiles(true);
    ReadFile(project + "plain.txt");
    ReadFile(project + "packed.txt");
    EXPECT_EQ(log.Count("Unpacked file: " + project + "plain.txt", KVLOG_INFO), 1);
    EXPECT_EQ(log.Lines().size(), 1u);

    // The log's own file, under the root path, never is; any other file there is.
    std::string root;
    pak.GetRootPath(&root);
    std::filesystem::create_directories(root);
    for (const char* name : {"log.txt", "other.txt"}) {
        KVFileHandle h = nullptr;
        ASSERT_EQ(pak.Open((root + name).c_str(), KVFILE_WRITE, &h), KV_OK);
        pak.Close(h);
    }
    EXPECT_EQ(log.Count("Unpacked file: " + root + "log.txt"), 0);
    EXPECT_EQ(log.Count("Unpacked file: " + root + "other.txt"), 1);
}

namespace {

// A log that writes each message into a file of its own through the pak
// layer, as a host's logger might.
class FileWritingLog : public kvtest::KVTestLog {
public:
    FileWritingLog(KVPak* pak, std::string path) : m_pak(pak), m_path(std::move(path)) {}
    int32_t Write(const char* text, int32_t level, int32_t window) override {
        KVFileHandle h = nullptr;
        if (m_pak->Open(m_path.c_str(), KVFILE_WRITE, &h) == KV_OK) m_pak->Close(h);
        return KVTestLog::Write(text, level, window);
    }

private:
    KVPak* m_pak;
    std::string m_path;
};

} // namespace

TEST_F(KVPakTest, AReportThatOpensAFileIsNotReportedAgain) {
    FileWritingLog writing(&pak, files.Base() + "journal.txt");
    writing.Install();
    pak.SetLogUnpackedFiles(true);
    WriteFile("plain.txt", "x");
    EXPECT_EQ(ReadFile(project + "plain.txt"), "x");
    ASSERT_EQ(writing.Lines().size(), 1u);
    EXPECT_EQ(writing.Lines()[0].text, "Unpacked file: " + project + "plain.txt");
}

TEST(KVPakAlone, TheLogWritingThroughThePakLayerIsNotReportedBack) {
    kvtest::PlatformFileLayer files;
    std::filesystem::create_directories(files.Base() + "assets");
    kvtest::KVTestThreadFactory factory;
    factory.Install();
    KVPak pak;
    pak.SetPlatformFile(&files.Files());
    pak.SetLogUnpackedFiles(true);
    KVLog log;
    log.Init(1);
    log.SetFileInterface(&pak);
    log.SetLogOnDisk(true);
    log.Info("one");
    log.Info("two");
    EXPECT_EQ(files.Dir().ReadFile("assets/log.txt"), "INFO : one\r\nINFO : two\r\n");

    // Other plain files still are.
    files.Dir().WriteFile("assets/other.txt", "o");
    KVFileHandle h = nullptr;
    ASSERT_EQ(pak.Open((files.Base() + "assets/other.txt").c_str(), KVFILE_READ, &h), KV_OK);
    pak.Close(h);
    EXPECT_EQ(files.Dir().ReadFile("assets/log.txt"),
              "INFO : one\r\nINFO : two\r\nINFO : Unpacked file: " + files.Base() + "assets/other.txt\r\n");
    log.Release(4);
}

TEST_F(KVPakTest, LogUnpackedFilesIsDeclaredInPhaseTwo) {
    KVProperties properties;
    properties.AddLoadedValue(KVPak::kLogUnpackedFilesId, KVPropertyValue::Boolean(true));
    pak.Init(0);
    EXPECT_FALSE(pak.GetLogUnpackedFiles());
    pak.Init(2);
    EXPECT_TRUE(pak.GetLogUnpackedFiles());
    PropertyDescriptor d;
    ASSERT_EQ(properties.GetPropertyAt(0, &d), 0);
    EXPECT_EQ(d.displayName, "Log unpacked files");
    EXPECT_EQ(d.key, "LogUnpackedFiles");
    EXPECT_EQ(d.section, "Pak");
    EXPECT_EQ(d.type, PROPERTY_BOOLEAN);
    EXPECT_EQ(d.id, 0x002935E1A0D91D66ull);
}

TEST(KVPakAlone, AnswersTheFileInterfaceOnly) {
    KVPak pak;
    EXPECT_EQ(KVPak::Instance(), &pak);
    void* out = nullptr;
    EXPECT_EQ(pak.QueryInterface(IID_IKVFile, &out), KV_OK);
    EXPECT_EQ(out, static_cast<IKVFile*>(&pak));
    out = &out;
    EXPECT_EQ(pak.QueryInterface(IID_IKVLog, &out), KV_NOT_SUPPORTED);
    EXPECT_EQ(out, nullptr);
    // Without a platform layer nothing opens and nothing breaks.
    KVFileHandle h = &out;
    EXPECT_EQ(pak.Open("x", KVFILE_READ, &h), KV_OPEN_READ_FAILED);
    EXPECT_EQ(h, nullptr);
    EXPECT_EQ(pak.FindFirst("a/*", nullptr), nullptr);
    EXPECT_EQ(pak.Exists("x"), 0);
    pak.SetBasePath("nowhere/");
    EXPECT_EQ(pak.GetLoadedPakCount(), 0u);
}

namespace {

// A disk file layer that serves queued reads on a thread of its own, a
// little later, as a platform worker would.
class DelayedReadFile : public kvtest::KVTestDiskFile {
public:
    using KVTestDiskFile::KVTestDiskFile;
    ~DelayedReadFile() override {
        for (std::thread& t : m_threads) t.join();
    }
    int32_t QueueRequest(KVFileHandle h, void* buffer, uint32_t count, KVFileCallback callback,
                         uint32_t userValue) override {
        ++queued;
        deliveredWhenQueued.push_back(delivered);
        m_threads.emplace_back([=] {
            std::this_thread::sleep_for(std::chrono::milliseconds(150));
            Read(h, buffer, count, nullptr);
            ++delivered;
            if (callback) callback(userValue);
        });
        return KV_OK;
    }
    int queued = 0;
    // Bodies read so far, and how many were when each request came.
    std::atomic<int> delivered{0};
    std::vector<int> deliveredWhenQueued;

private:
    std::vector<std::thread> m_threads;
};

} // namespace

TEST(KVPakAlone, BodiesReadLaterAreWaitedForBeforeUse) {
    kvtest::TempWorkDir dir;
    const std::string project = dir.Path() + "/game/";
    KVPakWriter a, b;
    a.Add("a.txt", Bytes(20000, 14, true));
    b.Add("b.txt", "bee");
    dir.WriteFile("game/paks/a.kvpak", a.Build(true));
    dir.WriteFile("game/paks/b.kvpak", b.Build(false));
    dir.WriteFile("game/paks/paks.kvpakdesc",
                  kvtest::BuildPakDescriptor({{"a", true, true, ""}, {"b", true, false, ""}}));
    kvtest::KVTestThreadFactory factory;
    factory.Install();
    DelayedReadFile file(dir.Path() + "/");
    {
        KVPak pak;
        pak.SetPlatformFile(&file);
        pak.SetBasePath(project);  // the second load waits for the first body
        EXPECT_EQ(file.queued, 2);
        EXPECT_EQ(file.deliveredWhenQueued, (std::vector<int>{0, 1}));
        KVFileHandle h = nullptr;
        ASSERT_EQ(pak.Open((project + "b.txt").c_str(), KVFILE_READ, &h), KV_OK);
        EXPECT_EQ(file.delivered, 2);  // the open waited for its body
        char buffer[8];
        uint32_t got = 0;
        EXPECT_EQ(pak.Read(h, buffer, 8, &got), KV_OK);
        EXPECT_EQ(std::string(buffer, got), "bee");
        pak.Close(h);
        ASSERT_EQ(pak.Open((project + "a.txt").c_str(), KVFILE_READ, &h), KV_OK);
        EXPECT_TRUE(pak.OwnsHandle(h));
        pak.Close(h);
    }
}

namespace {

std::vector<uint8_t> AsBytes(const std::string& s) { return std::vector<uint8_t>(s.begin(), s.end()); }

// A pak layer over a memory file layer holding the descriptor and the pak.
struct MemoryPaks {
    MemoryPaks(const std::string& descriptor, const std::string& pakFile) {
        files.SetFile("game/paks/paks.kvpakdesc", AsBytes(descriptor));
        files.SetFile("game/paks/main.kvpak", AsBytes(pakFile));
        files.SetFile("game/top.txt", AsBytes("plain"));
        pak.SetPlatformFile(&files);
        pak.SetBasePath("game/");
    }
    std::string Read(const std::string& path) {
        KVFileHandle h = nullptr;
        if (pak.Open(path.c_str(), KVFILE_READ, &h) != KV_OK) return "<missing>";
        std::string out;
        char buffer[1000];
        uint32_t got = 0;
        while (pak.Read(h, buffer, sizeof buffer, &got) == KV_OK && got > 0) out.append(buffer, got);
        pak.Close(h);
        return out;
    }
    kvtest::KVTestLog log;
    kvtest::KVMemoryFile files;
    KVPak pak;
};

} // namespace

TEST(KVPakAlone, EveryTruncationOfAPakIsRejectedOnceAndPlainFilesAreStillServed) {
    for (bool compressed : {false, true}) {
        SCOPED_TRACE(compressed ? "compressed" : "stored");
        KVPakWriter w;
        w.Add("sub/data.bin", Bytes(600, 3)).Add("top.txt", "from the pak").Add("empty", "");
        const std::string file = w.Build(compressed);
        const std::string descriptor = kvtest::BuildPakDescriptor({{"main", true, compressed, ""}});
        for (size_t cut = 0; cut <= file.size(); ++cut) {
            SCOPED_TRACE(cut);
            MemoryPaks paks(descriptor, file.substr(0, cut));
            if (cut == file.size()) {
                EXPECT_EQ(paks.pak.GetLoadedPakCount(), 1u);
                EXPECT_EQ(paks.Read("game/sub/data.bin"), Bytes(600, 3));
                EXPECT_EQ(paks.Read("game/top.txt"), "from the pak");
                EXPECT_TRUE(paks.log.Lines().empty());
                continue;
            }
            if (cut == KVPakWriter::kHeadSize) {
                // A head alone is a pak without entries.
                EXPECT_EQ(paks.pak.GetLoadedPakCount(), 1u);
                EXPECT_TRUE(paks.log.Lines().empty());
                EXPECT_EQ(paks.Read("game/top.txt"), "plain");
                continue;
            }
            EXPECT_EQ(paks.pak.GetLoadedPakCount(), 0u);
            EXPECT_EQ(paks.log.Count("Invalid pak file", KVLOG_ERROR), 1u);
            EXPECT_EQ(paks.log.Lines().size(), 1u);
            EXPECT_EQ(paks.Read("game/top.txt"), "plain");
            EXPECT_EQ(paks.Read("game/sub/data.bin"), "<missing>");
        }
    }
}

TEST(KVPakAlone, EveryTruncationOfADescriptorIsRejectedOnce) {
    KVPakWriter w;
    w.Add("top.txt", "from the pak");
    const std::string file = w.Build(false);
    const std::string descriptor =
        kvtest::BuildPakDescriptor({{"main", true, false, ""}, {"other", false, true, "Level1"}});
    for (size_t cut = 0; cut <= descriptor.size(); ++cut) {
        SCOPED_TRACE(cut);
        MemoryPaks paks(descriptor.substr(0, cut), file);
        if (cut == descriptor.size()) {
            EXPECT_EQ(paks.pak.GetDescriptorRecords().size(), 2u);
            EXPECT_EQ(paks.Read("game/top.txt"), "from the pak");
            continue;
        }
        EXPECT_TRUE(paks.pak.GetDescriptorRecords().empty());
        EXPECT_EQ(paks.pak.GetLoadedPakCount(), 0u);
        EXPECT_EQ(paks.log.Count("Pak file descriptor is invalid", KVLOG_ERROR), 1u);
        EXPECT_EQ(paks.Read("game/top.txt"), "plain");
    }
}

// The pak-file fuzz target's path, over its seeds, every truncation of them
// and changed bytes, so the ordinary and sanitizer builds cover it.
TEST(KVPakAlone, PakFileFuzzSeedsTheirTruncationsAndChangedBytesLoadSafely) {
    kvtest::KVTestLog log;
    std::mt19937 random(11);
    for (const std::vector<uint8_t>& seed : kvtest::KVPakFileSeeds()) {
        kvtest::KVFuzzPakFile(seed.data(), seed.size());
        for (size_t cut = 0; cut < seed.size(); ++cut) kvtest::KVFuzzPakFile(seed.data(), cut);
        for (int i = 0; i < 200 && seed.size() > 1; ++i) {
            std::vector<uint8_t> changed = seed;
            changed[1 + random() % (changed.size() - 1)] ^= uint8_t(1u << (random() % 8));
            kvtest::KVFuzzPakFile(changed.data(), changed.size());
        }
    }
}

TEST(KVPakAlone, PakFileFuzzSeedsLoadWhole) {
    for (const std::vector<uint8_t>& seed : kvtest::KVPakFileSeeds()) {
        kvtest::KVTestLog log;
        kvtest::KVFuzzPakFile(seed.data(), seed.size());
        EXPECT_TRUE(log.Lines().empty()) << log.Lines()[0].text;
    }
}
