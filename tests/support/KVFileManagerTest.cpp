#include "KVFileManagerTest.h"

namespace kvtest {

void KVFileManagerTest::SetUp() {
    serializer.SetHost(&engine);
    serializer.Init(0);
    serializer.Init(1);
    serializer.SetFileInterface(&files);
    host.Start();
}

void KVFileManagerTest::LoadProject(const KVProjectFileWriter& project) {
    ASSERT_TRUE(project.WriteTo(Asset("game.kvproj")));
    ASSERT_EQ(serializer.LoadProject(Asset("game.kvproj")), 0);
    serializer.CloseFile();
    engine.calls.clear();
    files.calls.clear();
}

void KVFileManagerTest::Run(const std::string& code) {
    std::string error;
    ASSERT_TRUE(host.Run(code, &error)) << error;
}

} // namespace kvtest
