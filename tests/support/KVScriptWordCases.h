#pragma once
// Script numbers and the 32-bit words they stand for wherever a script
// gives an unsigned word (colours, u32 attributes, their structure fields,
// the background colour): every path that takes one must agree on this
// table.
#include <cstdint>
#include <vector>

namespace kvtest {

struct KVScriptWordCase {
    const char* script;  // a Lua expression
    double number;       // its value
    uint32_t word;
};

const std::vector<KVScriptWordCase>& ScriptWordCases();

} // namespace kvtest
