#pragma once
// A test fixture with a started script host: L and lua reach its state and
// its binding. Libraries to be there from the start are registered in
// BeforeStart.
#include <gtest/gtest.h>

#include <string>

#include "KVTestLuaHost.h"

namespace kvtest {

class KVLuaHostTest : public ::testing::Test {
protected:
    void SetUp() override;
    virtual void BeforeStart() {}

    // Runs the code, expecting it to succeed.
    void Run(const std::string& code);

    KVTestLuaHost host;
    lua_State* L = nullptr;
    kvl::KVLua* lua = nullptr;
};

} // namespace kvtest
