#pragma once
// Mesh data as text: every record with the bytes its pointers reach
// (vertices, indices, blend shape offsets, channel keys), so two loads can
// be compared whole. Flags that depend on the device are left out.
#include <string>

#include "units3d/KV3DData.h"

namespace kvtest {

std::string DumpRecords(const kvl::KV3DData& data);

} // namespace kvtest
