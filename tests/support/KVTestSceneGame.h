#pragma once
// A game of scenes loaded by the core as the program loads it: a project
// file with its properties block and class table, kvl files written by the
// units writer, scripts in "assets/script/", a graphic device that answers,
// and unit classes of the test registered in phase 3 as extension modules
// register theirs. Errors the log receives are kept.
#include <functional>
#include <string>
#include <vector>

#include "KVProjectClassWriter.h"
#include "KVProjectFileWriter.h"
#include "KVPropertiesBlockWriter.h"
#include "KVTestCoreHost.h"

namespace kvl {
class KVUnit;
class KVUnitFactory;
} // namespace kvl

namespace kvtest {

class KVTestSceneGame {
public:
    static constexpr uint64_t kProjectId = 0x00C0FFEE12345678ull;
    static constexpr uint64_t kCheckPropertyId = 0x004F36E0B01D2350ull;

    explicit KVTestSceneGame(uint32_t projectVersion = 0x10005);
    ~KVTestSceneGame();

    KVTestCoreHost& Host() { return m_host; }
    KVProjectFileWriter& Project() { return m_project; }
    KVPropertiesBlockWriter& Properties() { return m_properties; }
    KVProjectClassWriter& Classes() { return m_classes; }
    // Bytes written in place of the class table Classes() builds.
    void SetClassTableBytes(std::vector<uint8_t> bytes) {
        m_tableBytes = std::move(bytes);
        m_tableBytesSet = true;
    }
    // A kvl of the project, loaded at start unless told otherwise (each in
    // a group of its own, named after the file).
    int32_t AddScene(const std::string& path, const std::vector<uint8_t>& bytes, bool atStart = true);
    void WriteScript(const std::string& relative, const std::string& content) { m_host.WriteScript(relative, content); }
    // Runs in phase 3, before the class table is read.
    void OnRegisterClasses(std::function<void()> f);
    // Writes the project and loads it: the core's result.
    int32_t Load();
    uint8_t Step() { return m_host.Step(); }

    kvl::KVUnitFactory& Factory();
    // The first unit of that name, or null.
    kvl::KVUnit* Find(const std::string& name);
    int32_t UnitCount();
    const std::vector<std::string>& Errors() const;
    // Errors that contain the text.
    size_t CountErrors(const std::string& part) const;
    // Runs Lua; fails the test on an error.
    void Run(const std::string& code);
    // The value of a Lua expression as text.
    std::string Eval(const std::string& expression);

private:
    KVTestCoreHost m_host;
    KVProjectFileWriter m_project;
    KVPropertiesBlockWriter m_properties;
    KVProjectClassWriter m_classes;
    std::vector<uint8_t> m_tableBytes;
    bool m_tableBytesSet = false;
    int32_t m_kvls = 0;
};

} // namespace kvtest
