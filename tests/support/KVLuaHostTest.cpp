#include "KVLuaHostTest.h"

namespace kvtest {

void KVLuaHostTest::SetUp() {
    BeforeStart();
    host.Start();
    L = host.State();
    lua = &host.Lua();
}

void KVLuaHostTest::Run(const std::string& code) {
    std::string error;
    ASSERT_TRUE(host.Run(code, &error)) << error;
}

} // namespace kvtest
