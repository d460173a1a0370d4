#pragma once
// Running test chunks on a script state and reading what they leave, shared
// by the test hosts. Chunks run under the name "test", so a report made from
// line n of a chunk starts with "test:n:".
#include <string>
#include <vector>

struct lua_State;

namespace kvtest {

// The text a report from the given line of a test chunk carries.
std::string ReportedAt(int line, const std::string& text);

// Runs a chunk; false with the message on an error. The stack is left as it
// was.
bool RunChunk(lua_State* L, const std::string& code, std::string* error = nullptr);
// The results of "return <expression>" as texts (tostring); {"<error>"} and
// the message when it fails.
std::vector<std::string> EvaluateChunk(lua_State* L, const std::string& expression, std::string* error = nullptr);
// The results of "return <expression>" with their types: "number 12",
// "string demo", "boolean true", "nil", "table"; joined with ", ", empty
// for no result, "<error>" when it fails.
std::string DescribeResults(lua_State* L, const std::string& expression);
// The keys of the global table, sorted; empty when the global is no table.
std::vector<std::string> GlobalTableKeys(lua_State* L, const char* name);

double ReadGlobalNumber(lua_State* L, const char* name);
std::string ReadGlobalString(lua_State* L, const char* name);
bool IsGlobalNil(lua_State* L, const char* name);

// The error hook of the test hosts: texts reported by the binding.
std::vector<std::string>& ScriptErrors();
void RecordScriptError(const char* text);

} // namespace kvtest
