#pragma once
// The directory of the project being played (up to and including its last
// "/"), set by the serializer when it opens a project file; empty before.
#include <string>

namespace kvl {

const std::string& GetProjectDirectory();
void SetProjectDirectory(const std::string& directory);

} // namespace kvl
