#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "kernel/KVPlatformCreators.h"
#include "kernel/KVResources.h"
#include "media/KVOggReader.h"
#include "support/KVMemoryFile.h"
#include "support/KVOggMemoryDecoder.h"
#include "support/KVOggWriter.h"

using namespace kvl;
using kvtest::KVOggMemoryDecoder;
using kvtest::OggToneSpec;
using kvtest::WriteOggTone;

namespace {

std::vector<uint8_t> Slice(const std::vector<uint8_t>& v, size_t from, size_t count) {
    return std::vector<uint8_t>(v.begin() + from, v.begin() + from + count);
}

// A reader over files held in memory.
class KVOggReaderTest : public ::testing::Test {
protected:
    void SetUp() override { reader.SetFileInterface(&files); }

    void* OpenFile(const std::string& path, const std::vector<uint8_t>& bytes) {
        files.SetFile(path, bytes);
        void* handle = nullptr;
        EXPECT_EQ(reader.Open(path.c_str(), &handle), KV_OK);
        return handle;
    }

    std::vector<uint8_t> Read(void* handle, size_t bytes) {
        std::vector<uint8_t> out(bytes, 0xAB);
        EXPECT_EQ(reader.Read(handle, out.data(), uint32_t(bytes)), KV_OK);
        return out;
    }

    kvtest::KVMemoryFile files;
    KVOggReader reader;
};

// Answers the resource manager, as the core does for its modules.
class ResourceCore : public IKVUnknown {
public:
    explicit ResourceCore(KVResources& resources) : m_resources(resources) {}
    int32_t QueryInterface(const KVInterfaceId& id, void** out) override {
        if (id == IID_IKVResourceManager) return AnswerInterface(static_cast<IKVResourceManager*>(&m_resources), out);
        return IKVUnknown::QueryInterface(id, out);
    }

private:
    KVResources& m_resources;
};

} // namespace

TEST_F(KVOggReaderTest, ModuleAnswersOnlyTheSoundReader) {
    EXPECT_EQ(reader.GetId(), 0x0065C4C473AB84B0ull);
    EXPECT_EQ(reader.GetPriority(), 0);
    void* out = nullptr;
    EXPECT_EQ(reader.QueryInterface(IID_IKVSoundReader, &out), KV_OK);
    EXPECT_EQ(out, static_cast<IKVSoundReader*>(&reader));
    EXPECT_EQ(reader.QueryInterface(IID_IKVResourceManager, &out), KV_NOT_SUPPORTED);
    EXPECT_EQ(out, nullptr);
    EXPECT_STREQ(reader.GetExtension(), "ogg");
    const char* alternatives = reader.GetExtensions();
    EXPECT_STREQ(alternatives, "wav");
    EXPECT_STREQ(alternatives + 4, "");  // the list ends with an empty name
    KVModuleCreateInfo info{nullptr, 0};
    EXPECT_EQ(CreateOggReader(&info), &reader);  // one instance
    EXPECT_EQ(PlatformCreators().at(7), &CreateOggReader);
}

TEST(KVOggReaderModuleTest, PhaseTwoRegistersWithTheCoresResourceManager) {
    KVResources resources;
    ResourceCore core(resources);
    KVModuleCreateInfo info{&core, 0};
    IKVModuleExt* module = CreateOggReader(&info);
    ASSERT_NE(module, nullptr);
    for (int32_t phase = 0; phase < 2; ++phase) EXPECT_EQ(module->Init(phase), KV_OK);
    EXPECT_EQ(resources.FindReader("music/theme.ogg"), nullptr);
    EXPECT_EQ(module->Init(2), KV_OK);
    EXPECT_EQ(resources.FindReader("music/theme.ogg"), static_cast<IKVResourceReader*>(KVOggReader::Instance()));
    // Found by its own extension only: a "wav" name is read only as its "ogg" twin.
    EXPECT_EQ(resources.FindReader("music/theme.wav"), nullptr);
    delete KVOggReader::Instance();
}

TEST_F(KVOggReaderTest, InfoGivesSixteenBitsAndTheByteLengthTwice) {
    struct Case {
        OggToneSpec recipe;
        uint32_t byteLength;
    };
    const Case cases[] = {
        {{44100, 2, 22050, false}, 88200},
        {{44100, 1, 22050, false}, 44100},
        {{22050, 2, 11025, false}, 44100},
        {{44100, 2, 0, false}, 0},
    };
    for (const Case& c : cases) {
        const std::vector<uint8_t> file = WriteOggTone(c.recipe);
        void* handle = OpenFile("s.ogg", file);
        ASSERT_NE(handle, nullptr);
        KVSoundReaderInfo info = {};
        EXPECT_EQ(reader.GetInfo(handle, &info), KV_OK);
        EXPECT_EQ(info.rate, c.recipe.rate);
        EXPECT_EQ(info.channels, c.recipe.channels);
        EXPECT_EQ(info.bitsPerSample, 16u);
        EXPECT_EQ(info.byteLength, c.byteLength) << c.recipe.rate << " " << c.recipe.channels;
        EXPECT_EQ(info.secondLength, c.byteLength);
        EXPECT_EQ(KVOggMemoryDecoder::DecodeAll(file).size(), c.byteLength);
        EXPECT_EQ(reader.Close(handle), KV_OK);
        EXPECT_EQ(files.OpenHandles(), 0);  // the decoder closed the file
    }
}

TEST_F(KVOggReaderTest, ReadGivesTheDecodersBytesAndGoesOnFromTheStart) {
    const std::vector<uint8_t> file = WriteOggTone({44100, 2, 22050, false});
    const std::vector<uint8_t> reference = KVOggMemoryDecoder::DecodeAll(file);
    ASSERT_EQ(reference.size(), 88200u);
    void* handle = OpenFile("s.ogg", file);
    ASSERT_NE(handle, nullptr);

    EXPECT_EQ(Read(handle, reference.size()), reference);
    // Past the end: the end of the stream, then its beginning.
    ASSERT_EQ(reader.Rewind(handle), KV_OK);
    std::vector<uint8_t> wrapped = Read(handle, reference.size() + 10000);
    EXPECT_EQ(Slice(wrapped, 0, reference.size()), reference);
    EXPECT_EQ(Slice(wrapped, reference.size(), 10000), Slice(reference, 0, 10000));
    // The stream went on after the wrap: the next read continues there.
    EXPECT_EQ(Read(handle, 4000), Slice(reference, 10000, 4000));

    // In the pieces a ring refill asks for, odd sizes included.
    ASSERT_EQ(reader.Rewind(handle), KV_OK);
    std::vector<uint8_t> pieces;
    const size_t sizes[] = {4096, 8820, 2, 1, 3, 26460, 4096};
    for (size_t i = 0; pieces.size() < reference.size(); ++i) {
        const size_t n = std::min(sizes[i % 7], reference.size() - pieces.size());
        std::vector<uint8_t> piece = Read(handle, n);
        pieces.insert(pieces.end(), piece.begin(), piece.end());
    }
    EXPECT_EQ(pieces.size(), reference.size());
    // A piece shorter than a frame takes the frame's first bytes and loses the rest.
    EXPECT_EQ(Slice(pieces, 0, 12916), Slice(reference, 0, 12916));
    reader.Close(handle);
}

TEST_F(KVOggReaderTest, OpenFailsOnWhatIsNotAnOggVorbisFile) {
    std::vector<uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
    png.resize(4000, 0x42);
    const std::vector<std::vector<uint8_t>> bad = {{}, png, std::vector<uint8_t>(9000, 0)};
    for (const auto& bytes : bad) {
        files.SetFile("bad.ogg", bytes);
        void* handle = &files;
        EXPECT_EQ(reader.Open("bad.ogg", &handle), KV_FAILED) << bytes.size();
        EXPECT_EQ(handle, nullptr);
        EXPECT_EQ(files.OpenHandles(), 0);  // closed once, not left open
    }
    void* handle = &files;
    EXPECT_EQ(reader.Open("missing.ogg", &handle), KV_FAILED);
    EXPECT_EQ(handle, nullptr);
}

// Streams with no sound, or cut anywhere, or damaged inside: the reader
// fails to open them or reads silence; it never hangs and never reads
// outside its buffers.
TEST_F(KVOggReaderTest, BrokenStreamsOpenAsFailuresOrReadAsSilence) {
    const std::vector<uint8_t> empty = WriteOggTone({44100, 2, 0, false});
    const std::vector<uint8_t> headers = WriteOggTone({44100, 2, 0, true});
    ASSERT_FALSE(headers.empty());
    for (const auto* bytes : {&empty, &headers}) {
        files.SetFile("quiet.ogg", *bytes);
        void* handle = nullptr;
        // An empty stream opens; the headers alone may not.
        if (reader.Open("quiet.ogg", &handle) != KV_OK) {
            EXPECT_NE(bytes, &empty);
            continue;
        }
        std::vector<uint8_t> out = Read(handle, 176400);
        EXPECT_EQ(std::count(out.begin(), out.end(), 0), 176400);
        reader.Close(handle);
    }

    const std::vector<uint8_t> file = WriteOggTone({44100, 2, 11025, false});
    for (size_t cut = 0; cut < file.size(); cut += cut < headers.size() + 64 ? 3 : 41) {
        files.SetFile("cut.ogg", std::vector<uint8_t>(file.begin(), file.begin() + cut));
        void* handle = nullptr;
        if (reader.Open("cut.ogg", &handle) == KV_OK) {
            std::vector<uint8_t> out(50000);
            reader.Read(handle, out.data(), uint32_t(out.size()));
            reader.Close(handle);
        }
        EXPECT_EQ(files.OpenHandles(), 0) << cut;
    }

    // Pages damaged inside (their checksums fail): the read goes on past them.
    std::vector<uint8_t> damaged = file;
    for (size_t i = headers.size() + 100; i < damaged.size(); i += 997) damaged[i] ^= 0x5A;
    void* handle = OpenFile("damaged.ogg", damaged);
    ASSERT_NE(handle, nullptr);
    std::vector<uint8_t> out(100000);
    EXPECT_EQ(reader.Read(handle, out.data(), uint32_t(out.size())), KV_OK);
    reader.Close(handle);
    EXPECT_EQ(files.OpenHandles(), 0);
}
