// A game reading its data files to their end with every method of the
// script file object, as it ships them: plain files, and a stored or a
// compressed pak loaded with the project or by the script at run time.
// Inside a pak every method answers as it does on disk.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/KVGameRig.h"
#include "support/KVPakWriter.h"
#include "support/KVSceneUnitsWriter.h"

using namespace kvtest;

namespace {

// Files whose ends a reader must get right: with and without a last line
// feed, empty, blank lines, a lone CR LF, CR inside a line, more than one
// inflate block.
std::vector<std::pair<std::string, std::string>> DataFiles() {
    std::string big;
    for (int i = 0; i < 1200; ++i) big += "line " + std::to_string(i) + (i % 3 ? "\n" : "\r\n");
    return {
        {"lf.txt", "ab\r\ncd\n"}, {"nolf.txt", "ab\r\ncd"}, {"empty.txt", ""},  {"blank.txt", "\n\nx\n\n"},
        {"crlf.txt", "\r\n"},     {"one.txt", "z"},         {"cr.txt", "a\rb"}, {"big.txt", big},
    };
}

// Reads every data file with each method until it answers nil (or gives up
// far past the file's end) and records what the first calls and the last
// answered, how many answered before nil and a sum over every answer.
const char* const kReader =
    "local function show(v)\n"
    "  if v == nil then return 'nil' end\n"
    "  if type(v) == 'table' then\n"
    "    local t = {}\n"
    "    for i = 1, #v do t[i] = tostring(v[i]) end\n"
    "    return '{' .. table.concat(t, ',') .. '}'\n"
    "  end\n"
    "  return string.format('%q', v)\n"
    "end\n"
    "local methods = {\n"
    "  line = function(f) return f:ReadLine() end,\n"
    "  read0 = function(f) return f:Read(0) end,\n"
    "  read1 = function(f) return f:Read(1) end,\n"
    "  read3 = function(f) return f:Read(3) end,\n"
    "  read4096 = function(f) return f:Read(4096) end,\n"
    "  table1 = function(f) return f:ReadToTable(1) end,\n"
    "  table5 = function(f) return f:ReadToTable(5) end,\n"
    "  table70000 = function(f) local t = f:ReadToTable(70000) return t and {#t} end,\n"
    "}\n"
    "local order = {'line', 'read0', 'read1', 'read3', 'read4096', 'table1', 'table5', 'table70000'}\n"
    "function ReadAll(where)\n"
    "  for _, name in ipairs(FILES) do\n"
    "    for _, method in ipairs(order) do\n"
    "      local f = KVFileManager.Open('data/' .. name, 'r')\n"
    "      if not f then TestRecorder.Record(name .. ' missing') break end\n"
    "      local out, ended, sum = {}, false, 0\n"
    "      for i = 1, 100000 do\n"
    "        local v = methods[method](f)\n"
    "        local shown = show(v)\n"
    "        if i <= 3 or v == nil then out[#out + 1] = shown end\n"
    "        for k = 1, #shown do sum = (sum * 31 + shown:byte(k)) % 1000003 end\n"
    "        if v == nil then ended = true out[#out + 1] = 'after ' .. (i - 1) .. ' sum ' .. sum break end\n"
    "      end\n"
    "      if not ended then out[#out + 1] = 'never ends' end\n"
    "      out[#out + 1] = 'eof ' .. tostring(f:EndOfFile())\n"
    "      f:Close()\n"
    "      TestRecorder.Record(name .. ' ' .. method .. ': ' .. table.concat(out, ' '))\n"
    "    end\n"
    "  end\n"
    "end\n";

std::string FileList() {
    std::string list = "FILES = {";
    for (const auto& file : DataFiles()) list += "'" + file.first + "', ";
    return list + "}\n";
}

enum class Form { Disk, PakWithProject, PakAtRunTime };

struct GameForm {
    const char* name;
    Form form;
    bool compressed;
};

// What the game recorded, read in that form.
std::vector<std::string> Play(const GameForm& shape) {
    KVGameRig game;
    game.AddScene("scenes/main.kvl", KVSceneUnitsWriter().Scene(0x20004, KVGameRig::kProjectId));
    game.WriteScript("app.lua", std::string(kReader) + FileList());
    KVPakWriter pak;
    for (const auto& file : DataFiles()) {
        if (shape.form == Form::Disk)
            game.WriteText("data/" + file.first, file.second);
        else
            pak.Add("data/" + file.first, file.second);
    }
    switch (shape.form) {
    case Form::Disk:
        game.WriteScript("start.lua", "function Application.OnProjectLoaded() ReadAll() end\n");
        break;
    case Form::PakWithProject:
        // The pak is there while the project loads: a script it holds, over
        // the plain script folder, reads the files as it runs.
        pak.Add("script/start.lua", "ReadAll()\n");
        game.AddPak("data", pak, shape.compressed, true);
        break;
    case Form::PakAtRunTime:
        game.WriteScript("start.lua", "function Application.OnProjectLoaded() KVPak.LoadPak('data') ReadAll() end\n");
        game.AddPak("data", pak, shape.compressed, false);
        break;
    }
    EXPECT_TRUE(game.Start());
    game.Step(2);
    EXPECT_TRUE(game.ScriptErrors().empty()) << game.ScriptErrors().front();
    return game.Records();
}

TEST(KVSerializeLuaFilePakGameTest, InsideAPakEveryReadMethodEndsAsOnDisk) {
    const std::vector<std::string> disk = Play({"disk", Form::Disk, false});
    ASSERT_EQ(disk.size(), DataFiles().size() * 8);
    // The record of one file and method, without its sum.
    auto recorded = [&](const std::string& head) {
        for (std::string r : disk) {
            if (r.rfind(head + ":", 0) != 0) continue;
            const size_t sum = r.find(" sum ");
            if (sum != std::string::npos) r.erase(sum, r.find(' ', sum + 5) - sum);
            return r;
        }
        return std::string("<none>");
    };
    // On disk: the lines, then nil; the bytes, then nil; nothing in an
    // empty file, and nothing for no bytes.
    const std::string bigSize = std::to_string(DataFiles()[7].second.size());
    const std::pair<std::string, std::string> onDisk[] = {
        {"lf.txt line", "\"ab\" \"cd\" nil after 2 eof true"},
        {"nolf.txt line", "\"ab\" \"cd\" nil after 2 eof true"},
        {"blank.txt line", "\"\" \"\" \"x\" nil after 4 eof true"},
        {"empty.txt line", "nil after 0 eof true"},
        {"crlf.txt line", "\"\" nil after 1 eof true"},
        {"cr.txt line", "\"ab\" nil after 1 eof true"},
        {"big.txt line", "\"line 0\" \"line 1\" \"line 2\" nil after 1200 eof true"},
        {"lf.txt read3", "\"ab\\r\" \"\\\ncd\" \"\\\n\" nil after 3 eof true"},
        {"one.txt table5", "{122} nil after 1 eof true"},
        {"big.txt table70000", "{" + bigSize + "} nil after 1 eof true"},
        {"empty.txt read1", "nil after 0 eof true"},
        {"one.txt read0", "nil after 0 eof false"},
    };
    for (const auto& expected : onDisk) EXPECT_EQ(recorded(expected.first), expected.first + ": " + expected.second);
    for (const std::string& r : disk) EXPECT_EQ(r.find("never ends"), std::string::npos) << r;

    const GameForm packed[] = {
        {"stored pak loaded with the project", Form::PakWithProject, false},
        {"compressed pak loaded with the project", Form::PakWithProject, true},
        {"stored pak loaded at run time", Form::PakAtRunTime, false},
        {"compressed pak loaded at run time", Form::PakAtRunTime, true},
    };
    for (const GameForm& shape : packed) {
        SCOPED_TRACE(shape.name);
        EXPECT_EQ(Play(shape), disk);
    }
}

} // namespace
