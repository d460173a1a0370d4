#include "KVSceneJournal.h"

namespace kvtest {

std::vector<std::string>& SceneJournal() {
    static std::vector<std::string> journal;
    return journal;
}

void Note(const std::string& entry) { SceneJournal().push_back(entry); }

std::vector<std::string> JournalStartingWith(const std::string& start) {
    std::vector<std::string> out;
    for (const std::string& entry : SceneJournal())
        if (entry.compare(0, start.size(), start) == 0) out.push_back(entry);
    return out;
}

} // namespace kvtest
