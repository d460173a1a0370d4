#pragma once
// A platform file layer started (phase 0) in a fresh working directory.
#include <memory>
#include <string>

#include "kernel/KVFile.h"
#include "support/KVTestSupport.h"

namespace kvtest {

class PlatformFileLayer {
public:
    PlatformFileLayer();
    ~PlatformFileLayer();

    kvl::KVFile& Files() { return *m_file; }
    const TempWorkDir& Dir() const { return m_dir; }
    // The working directory as the system reports it, ending with "/".
    const std::string& Base() const { return m_base; }

private:
    TempWorkDir m_dir;
    std::string m_base;
    std::unique_ptr<kvl::KVFile> m_file;
};

// Mode bits of a path (0 when it does not exist).
unsigned ModeBits(const std::string& path);

} // namespace kvtest
