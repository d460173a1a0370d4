#include <gtest/gtest.h>

#include "support/KVFileManagerTest.h"
#include "support/KVPaddedFileWriter.h"
#include "support/KVScriptWordCases.h"
#include "support/KVTestScriptRun.h"

using kvtest::ReportedAt;
using Strings = std::vector<std::string>;

namespace {

class ScriptFileTest : public kvtest::KVFileManagerTest {
protected:
    void SetUp() override {
        KVFileManagerTest::SetUp();
        LoadProject(kvtest::KVProjectFileWriter());
    }
    bool HasError(const std::string& text) const { return host.HasError(text); }
    std::string Errors() const {
        std::string all;
        for (const std::string& e : kvtest::KVTestLuaHost::Errors()) all += e + "\n";
        return all;
    }
};

TEST_F(ScriptFileTest, ReadLineDropsCarriageReturnsAndEndsAtLineFeeds) {
    const struct {
        std::string content;
        const char* lines;
    } cases[] = {
        {"ab\r\ncd\n", "string ab, string cd, nil, nil"},
        {"a\rb\n\nlast", "string ab, string , string last, nil"},
        // A last line without LF is still read (then the end of the file).
        {"one\ntwo", "string one, string two, nil, nil"},
        {"", "nil, nil, nil, nil"},
        {"\r", "nil, nil, nil, nil"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.content);
        host.WriteAsset("lines.txt", c.content);
        Run("f = KVFileManager.Open('lines.txt', 'r')");
        EXPECT_EQ(Describe("f:ReadLine(), f:ReadLine(), f:ReadLine(), f:ReadLine()"), c.lines);
        EXPECT_EQ(Describe("f:EndOfFile(), f:Close()"), "boolean true, boolean true");
    }
    EXPECT_EQ(Errors(), "");
}

TEST_F(ScriptFileTest, WritesWaitInTheBufferUntilCloseOrFlush) {
    Run("f = KVFileManager.Open('out.txt', 'w')\n"
        "f:WriteLine('')\n"
        "f:WriteLine('x')\n"
        "f:Write({65, 322, 10, -1})\n"
        "f:Write('tail')\n"
        "f:Write(12)");
    EXPECT_EQ(host.ReadAsset("out.txt"), "");
    // Flush hands the bytes to the file layer (whose own buffering decides
    // when they reach the disk); a second one has nothing to write.
    EXPECT_EQ(Describe("f:Flush(true), f:Flush()"), "boolean true, boolean true");
    Run("f:WriteLine('more')");
    EXPECT_EQ(Describe("f:Close()"), "boolean true");
    EXPECT_EQ(host.ReadAsset("out.txt"), std::string("x\nAB\n\xff" "tail12more\n"));
    EXPECT_EQ(Describe("f:Close()"), "boolean true");
    EXPECT_EQ(Errors(), "");
}

// A byte table's elements are script words, taken modulo 2^32 (at and
// above 2^31, negative, fractional), each giving its low 8 bits.
TEST_F(ScriptFileTest, WriteTakesEachElementOfATableAsAWord) {
    std::string table;
    std::string expected;
    for (const kvtest::KVScriptWordCase& c : kvtest::ScriptWordCases()) {
        table += std::string(c.script) + ", ";
        expected += char(c.word & 0xffu);
    }
    Run("f = KVFileManager.Open('bytes.bin', 'w')\nf:Write({" + table + "})\nf:Close()");
    EXPECT_EQ(host.ReadAsset("bytes.bin"), expected);
    EXPECT_EQ(Errors(), "");
}

TEST_F(ScriptFileTest, TheCollectorFlushesAndClosesAnUnclosedFile) {
    Run("local f = KVFileManager.Open('gc.txt', 'w')\n"
        "f:WriteLine('kept')\n"
        "f = nil\n"
        "collectgarbage()\n"
        "collectgarbage()");
    EXPECT_EQ(host.ReadAsset("gc.txt"), "kept\n");
}

TEST_F(ScriptFileTest, MethodsWorkThroughTheirClosuresToo) {
    host.WriteAsset("in.txt", "first\nsecond\n");
    Run("local f = KVFileManager.Open('in.txt', 'r')\n"
        "read = f.ReadLine\n"
        "close = f.Close\n"
        "f = nil\n"
        "collectgarbage()");
    EXPECT_EQ(Describe("read(), read(), close(), read()"), "string first, string second, boolean true");
    EXPECT_TRUE(HasError(ReportedAt(1, "File not opened")));
}

TEST_F(ScriptFileTest, PadTurnsTheBufferIntoAPaddedImage) {
    Run("f = KVFileManager.Open('padded.bin', 'w')\n"
        "f:Write('abc')\n"
        "f:Pad(10)");
    EXPECT_TRUE(HasError(ReportedAt(3, "Pad size is too low")));
    Run("f:Pad(-1)");
    EXPECT_TRUE(HasError(ReportedAt(1, "Padded size is too large")));
    Run("f:Pad(11)\n"
        "f:Close()");
    EXPECT_EQ(host.ReadAsset("padded.bin"), kvtest::PaddedImage("abc", 11));
    Run("f = KVFileManager.Open('padded2.bin', 'w')\n"
        "f:WriteLine('state')\n"
        "f:Pad(64)\n"
        "f:Close()\n"
        "ok = KVFileManager.UnpadFile('padded2.bin', 'plain.txt')");
    EXPECT_EQ(host.ReadAsset("padded2.bin"), kvtest::PaddedImage("state\n", 64));
    EXPECT_EQ(Describe("ok"), "boolean true");
    EXPECT_EQ(host.ReadAsset("plain.txt"), "state\n");
}

TEST_F(ScriptFileTest, ReadAndReadToTableTakeUpToTheCount) {
    host.WriteAsset("bytes.bin", std::string("ab\0cd\xff" "ef", 8));
    Run("f = KVFileManager.Open('bytes.bin', 'rb')");
    EXPECT_EQ(Describe("f:Read(0), f:Read(-3)"), "nil, nil");
    // The text ends at the first zero byte; the bytes after it are read.
    EXPECT_EQ(Describe("f:Read(4)"), "string ab");
    EXPECT_EQ(Describe("table.concat(f:ReadToTable(2), ',')"), "string 100,255");
    EXPECT_EQ(Describe("f:EndOfFile()"), "boolean false");
    // Counts beyond the file take what is left.
    EXPECT_EQ(Describe("f:Read(2^31 - 1)"), "string ef");
    EXPECT_EQ(Describe("f:Read(1), f:ReadToTable(1), f:ReadToTable(2^40)"), "nil, nil, nil");
    EXPECT_EQ(Describe("f:EndOfFile()"), "boolean true");
    EXPECT_EQ(Errors(), "");
}

TEST_F(ScriptFileTest, ModeTextsChooseReadingWritingOrAppending) {
    host.WriteAsset("kept.txt", "old\n");
    Run("f = KVFileManager.Open('kept.txt', 'rb') line = f:ReadLine() f:Close()");
    EXPECT_EQ(host.GlobalString("line"), "old");
    // Appending keeps what the file holds.
    Run("f = KVFileManager.Open('kept.txt', 'a') f:WriteLine('new') ok = f:Close()");
    EXPECT_EQ(Describe("ok"), "boolean true");
    EXPECT_EQ(host.ReadAsset("kept.txt"), "old\nnew\n");
    Run("f = KVFileManager.Open('fresh.txt', 'a+') f:WriteLine('one') f:Close()");
    EXPECT_EQ(host.ReadAsset("fresh.txt"), "one\n");
    // Every other mode text writes a new file.
    for (const char* mode : {"w", "wb", "", "x", "R"}) {
        SCOPED_TRACE(mode);
        host.WriteAsset("kept.txt", "old\n");
        Run(std::string("f = KVFileManager.Open('kept.txt', '") + mode + "') f:Close()");
        EXPECT_EQ(host.ReadAsset("kept.txt"), "");
    }
    EXPECT_EQ(Describe("KVFileManager.Open('missing.txt', 'r')"), "nil");
    EXPECT_EQ(Errors(), "");
}

TEST_F(ScriptFileTest, WritingMakesTheMissingDirectoriesFirst) {
    Run("f = KVFileManager.Open('saves\\\\first/data.bin', 'w')");
    EXPECT_EQ(files.CallsStartingWith("MakeDirectory"), Strings{"MakeDirectory(" + Asset("saves\\first/") + ",1)"});
    Run("f:Close()\n"
        "f = KVFileManager.Open('saves/first/data.bin', 'w')\n"
        "f:Write('1')\n"
        "f:Close()");
    EXPECT_EQ(host.ReadAsset("saves/first/data.bin"), "1");
    files.calls.clear();
    Run("KVFileManager.Open('saves/first/data.bin', 'r'):Close()");
    EXPECT_EQ(files.CallsStartingWith("MakeDirectory"), Strings{});
    // A file whose directory cannot be made does not open.
    host.WriteAsset("blocker", "");
    EXPECT_EQ(Describe("KVFileManager.Open('blocker/inner/data.bin', 'w')"), "nil");
}

TEST_F(ScriptFileTest, MethodsCheckTheModeAndTheOpenFile) {
    host.WriteAsset("in.txt", "x\n");
    Run("r = KVFileManager.Open('in.txt', 'r')\n"
        "w = KVFileManager.Open('out.txt', 'w')");
    const struct {
        const char* call;
        const char* message;
    } cases[] = {
        {"r:WriteLine('a')", "File is not in write mode"},
        {"r:Write('a')", "File is not in write mode"},
        {"r:Flush()", "File is not in write mode"},
        {"r:Pad(20)", "File is not in write mode"},
        {"w:ReadLine()", "File is not in read mode"},
        {"w:Read(1)", "File is not in read mode"},
        {"w:ReadToTable(1)", "File is not in read mode"},
        {"w:Write()", "Invalid number of arguments"},
        {"w:Pad()", "Invalid number of arguments"},
        {"r:Read()", "Invalid number of arguments"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.call);
        kvtest::KVTestLuaHost::ClearErrors();
        EXPECT_EQ(Describe(c.call), "");
        EXPECT_TRUE(HasError(c.message)) << Errors();
    }
    Run("r:Close() w:Close()");
    for (const char* call : {"r:ReadLine()", "w:WriteLine('a')", "w:Flush()", "r:ReadToTable(1)"}) {
        SCOPED_TRACE(call);
        kvtest::KVTestLuaHost::ClearErrors();
        EXPECT_EQ(Describe(call), "");
        EXPECT_TRUE(HasError(ReportedAt(1, "File not opened"))) << Errors();
    }
    EXPECT_EQ(Describe("r:Close(), w:Close()"), "boolean true, boolean true");
    EXPECT_EQ(host.ReadAsset("out.txt"), "");
}

TEST_F(ScriptFileTest, AFailedWriteIsReportedByFlushAndByClose) {
    files.ShortenWritesOf("short.txt", 4);
    Run("f = KVFileManager.Open('short.txt', 'w')\n"
        "f:WriteLine('too long')");
    EXPECT_EQ(Describe("f:Flush()"), "boolean false");
    // What was not written is gone; the buffer starts again empty.
    EXPECT_EQ(Describe("f:Flush()"), "boolean true");
    Run("f:WriteLine('more')");
    EXPECT_EQ(Describe("f:Close()"), "boolean false");
    EXPECT_EQ(Describe("f:Close()"), "boolean true");
    EXPECT_EQ(host.ReadAsset("short.txt"), "too ");
}

} // namespace
