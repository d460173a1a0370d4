#pragma once
// The sample game's pictures, drawn here and written as PNG files under
// "images/" of the asset root.
#include <filesystem>

namespace kvsample {

bool WriteArt(const std::filesystem::path& assets);

} // namespace kvsample
