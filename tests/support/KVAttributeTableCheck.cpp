#include "KVAttributeTableCheck.h"

#include <gtest/gtest.h>

#include <string>

namespace kvtest {

void ExpectAttributeTable(const kvl::KVUnitClass& record, int32_t first,
                          const std::vector<KVExpectedAttribute>& expected) {
    SCOPED_TRACE(record.name);
    ASSERT_EQ(record.attributes.size(), size_t(first) + expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        const kvl::KVAttributeDesc& a = record.attributes[size_t(first) + i];
        const KVExpectedAttribute& e = expected[i];
        SCOPED_TRACE(e.name);
        EXPECT_EQ(a.name, e.name);
        EXPECT_EQ(a.typeCode, e.type);
        EXPECT_EQ(a.elementCount, e.count);
        EXPECT_EQ(a.id, e.id);
        std::string flags;
        for (uint8_t f : a.flags) flags += char('0' + f);
        EXPECT_EQ(flags, e.flags);
        EXPECT_EQ(a.setter != nullptr, e.callback == KVAttributeCallback::SETTER);
        EXPECT_EQ(a.changedHook != nullptr, e.callback == KVAttributeCallback::CHANGED);
        EXPECT_EQ(a.getter != nullptr, e.callback == KVAttributeCallback::GETTER);
        EXPECT_EQ(a.referencedClass, e.filter);
        EXPECT_EQ(a.bitNumber, e.bit);
        EXPECT_EQ(a.storageKind, kvl::KVSTORE_UNIT);
        EXPECT_EQ(a.position, first + int32_t(i));
        EXPECT_NE(a.manipulator, nullptr);
    }
}

} // namespace kvtest
