#pragma once
// A test fixture for the file manager's script side: a started script host
// whose serializer (with a recording engine host) reads and writes files on
// disk through a recording file layer. The project directory is the asset
// root once LoadProject ran.
#include <gtest/gtest.h>

#include <string>

#include "KVProjectFileWriter.h"
#include "KVRecordingDiskFile.h"
#include "KVRecordingSerializeHost.h"
#include "KVTestLuaHost.h"
#include "units/KVSerialize.h"

namespace kvtest {

class KVFileManagerTest : public ::testing::Test {
protected:
    void SetUp() override;

    // Writes the project as "assets/game.kvproj" and loads it.
    void LoadProject(const KVProjectFileWriter& project);
    // Runs the code, expecting it to succeed.
    void Run(const std::string& code);
    std::string Describe(const std::string& expression) { return host.Describe(expression); }
    // The asset root + the relative path.
    std::string Asset(const std::string& relative) const { return host.Root() + relative; }

    // The file layer outlives the script state, whose collector may still
    // close files through it.
    KVRecordingDiskFile files;
    KVRecordingSerializeHost engine;
    KVTestLuaHost host;
    kvl::KVSerialize serializer;
};

} // namespace kvtest
