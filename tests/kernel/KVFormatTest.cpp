#include <gtest/gtest.h>
#include "kernel/KVFormat.h"

using namespace kvl;

TEST(KVFormat, Placeholder) { EXPECT_EQ(Format("{0}", FormatValue(uint32_t(255))), "255"); }
