#include "support/KVFileTestSupport.h"

#include <sys/stat.h>

#include <filesystem>

namespace kvtest {

PlatformFileLayer::PlatformFileLayer() {
    m_base = std::filesystem::current_path().string() + "/";
    m_file = std::make_unique<kvl::KVFile>();
    m_file->Init(0);
}

PlatformFileLayer::~PlatformFileLayer() { m_file.reset(); }

unsigned ModeBits(const std::string& path) {
    struct stat st;
    if (stat(path.c_str(), &st) != 0) return 0;
    return unsigned(st.st_mode) & 07777u;
}

} // namespace kvtest
