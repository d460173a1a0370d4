#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "media/KVSoundDescriptor.h"
#include "support/KVSoundDescWriter.h"

using namespace kvl;
using kvtest::SoundDescRecord;
using kvtest::SoundDescSpec;
using kvtest::WriteSoundDesc;
using Result = KVSoundDescriptor::Result;

namespace {

SoundDescRecord Record(uint8_t kind, std::vector<uint8_t> values, uint16_t perSecond = 10) {
    SoundDescRecord r;
    r.kind = kind;
    r.values = std::move(values);
    r.valuesPerSecond = perSecond;
    return r;
}

} // namespace

TEST(KVSoundDescriptorTest, TheLastEnvelopeRecordWins) {
    struct Case {
        const char* name;
        std::vector<SoundDescRecord> records;
        uint16_t perSecond;
        std::vector<uint8_t> values;
    };
    const Case cases[] = {
        {"one envelope", {Record(0, {1, 2, 3}, 20)}, 20, {1, 2, 3}},
        {"two envelopes", {Record(0, {1, 2, 3}, 20), Record(0, {9, 8}, 40)}, 40, {9, 8}},
        {"another kind passed over", {Record(0, {7}, 5), Record(5, {1, 1, 1, 1})}, 5, {7}},
        {"no envelope", {Record(5, {1})}, 0, {}},
        {"an empty envelope", {Record(0, {}, 8)}, 8, {}},
    };
    for (const Case& c : cases) {
        SoundDescSpec recipe;
        recipe.records = c.records;
        const std::vector<uint8_t> bytes = WriteSoundDesc(recipe);
        KVSoundEnvelope envelope;
        EXPECT_EQ(KVSoundDescriptor::Parse(bytes, &envelope), Result::Valid) << c.name;
        EXPECT_EQ(envelope.valuesPerSecond, c.perSecond) << c.name;
        ASSERT_EQ(envelope.count, c.values.size()) << c.name;
        for (size_t i = 0; i < c.values.size(); ++i) EXPECT_EQ(envelope.values[i], c.values[i]) << c.name;
    }
}

TEST(KVSoundDescriptorTest, BadFilesGiveNoEnvelope) {
    SoundDescSpec good;
    good.records = {Record(0, {1, 2, 3, 4})};
    const std::vector<uint8_t> whole = WriteSoundDesc(good);
    // A good file changed one way.
    auto changed = [&](void (*change)(SoundDescSpec&)) {
        SoundDescSpec recipe = good;
        change(recipe);
        return WriteSoundDesc(recipe);
    };

    struct Case {
        const char* name;
        std::vector<uint8_t> bytes;
        Result result;
    };
    std::vector<Case> cases = {
        {"empty", {}, Result::NotDescriptor},
        {"three bytes", {'S', 'D', 'E'}, Result::NotDescriptor},
        {"six bytes", {'S', 'D', 'E', 'S', 0, 1}, Result::Malformed},
        {"wrong magic", changed([](SoundDescSpec& s) { s.magic = "SDEZ"; }), Result::NotDescriptor},
        {"no record", changed([](SoundDescSpec& s) { s.recordCount = 0; }), Result::NotDescriptor},
        {"record length 0", changed([](SoundDescSpec& s) { s.records[0].length = 0; }), Result::Malformed},
        {"record past the file", changed([](SoundDescSpec& s) { s.records[0].length = 21; }), Result::Malformed},
        {"more values than the record", changed([](SoundDescSpec& s) { s.records[0].count = 5; }),
         Result::Malformed},
        {"more records than the file", changed([](SoundDescSpec& s) { s.recordCount = 2; }), Result::Malformed},
        {"envelope shorter than its header", changed([](SoundDescSpec& s) {
             s.records[0] = Record(0, {});
             s.records[0].length = 12;
         }),
         Result::Malformed},
    };
    cases.back().bytes.resize(cases.back().bytes.size() - 4);  // the file ends with its stated length

    for (const Case& c : cases) {
        KVSoundEnvelope envelope;
        std::string error;
        EXPECT_EQ(KVSoundDescriptor::Parse(c.bytes, &envelope, &error), c.result) << c.name;
        EXPECT_EQ(envelope.values, nullptr) << c.name;
        EXPECT_EQ(envelope.count, 0u) << c.name;
        EXPECT_EQ(error.empty(), c.result != Result::Malformed) << c.name;
    }
    // Cut anywhere: never read past the end.
    for (size_t cut = 0; cut < whole.size(); ++cut) {
        KVSoundEnvelope envelope;
        EXPECT_NE(KVSoundDescriptor::Parse(std::vector<uint8_t>(whole.begin(), whole.begin() + cut), &envelope),
                  Result::Valid)
            << cut;
    }
}

TEST(KVSoundDescriptorTest, PathReplacesTheLastExtension) {
    EXPECT_EQ(KVSoundDescriptor::PathFor("sfx/boom.ogg"), "sfx/boom.kvsnddesc");
    EXPECT_EQ(KVSoundDescriptor::PathFor("s/b.ogg"), "s/b.kvsnddesc");
    EXPECT_EQ(KVSoundDescriptor::PathFor("a.b/c.d.wav"), "a.b/c.d.kvsnddesc");
    EXPECT_EQ(KVSoundDescriptor::PathFor("noext"), "kvsnddesc");
    EXPECT_EQ(KVSoundDescriptor::PathFor(""), "kvsnddesc");
}
