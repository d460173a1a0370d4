#pragma once
// The fields of the material record by override bit, as byte spans, for
// comparing records without their padding:
//
//     EXPECT_EQ(kvtest::MaterialDifferences(given, expected), "");
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "units3d/KV3DMaterial.h"

namespace kvtest {

struct KV3DMaterialField {
    uint32_t bit;
    size_t offset;
    size_t size;
    const char* name;
};

// Every field in bit order.
const std::vector<KV3DMaterialField>& MaterialFields();
bool SameMaterialField(const kvl::KV3DMaterial& a, const kvl::KV3DMaterial& b, const KV3DMaterialField& f);
// The names of the fields that differ, and "overrideFlags" when the flags
// do, separated by spaces; empty when the records agree.
std::string MaterialDifferences(const kvl::KV3DMaterial& a, const kvl::KV3DMaterial& b);

} // namespace kvtest
