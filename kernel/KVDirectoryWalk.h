#pragma once
// The engine's walk of a folder tree through the file layer (the script
// folder, the resource index): each listing in the order the layer gives
// it, pak entries before plain files, and a folder entered where its
// listing meets it.
#include <functional>
#include <string>

#include "IKVFile.h"

namespace kvl {

class KVDirectoryWalk {
public:
    // Folder levels entered below the root: a pak can nest its folders
    // without end, and a directory link can loop.
    static constexpr int kMaxDepth = 32;

    // Every entry that is not a folder, with the path of its folder below
    // the root ("" or ending with "/").
    using Visit = std::function<void(const std::string& sub, const FileFindData& entry)>;

    // Lists root + "*" and enters the folders whose names do not begin with
    // ".", at most kMaxDepth levels down. Each folder is entered once: a
    // path that a pak and the disk both list (the one listing shows both),
    // and a directory of the disk that the walk has entered already by
    // another path (a link back up the tree, or two links to one place).
    static void Walk(IKVFile* file, const std::string& root, const Visit& visit);
};

} // namespace kvl
