#pragma once
// What the scene's collaborators did, in order: device calls, units drawn,
// camera calls, mirrors. Each entry is a short text ("begin", "draw A",
// "Cam update"); tests clear it and compare.
#include <string>
#include <vector>

namespace kvtest {

std::vector<std::string>& SceneJournal();
void Note(const std::string& entry);
// The entries that start with the text.
std::vector<std::string> JournalStartingWith(const std::string& start);

} // namespace kvtest
