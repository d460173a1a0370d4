#include "KVTestSupport.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

namespace kvtest {

TempWorkDir::TempWorkDir() {
    char buffer[4096];
    if (getcwd(buffer, sizeof buffer)) m_previous = buffer;
    std::string templ = (fs::temp_directory_path() / "kvtest-XXXXXX").string();
    char* made = mkdtemp(templ.data());
    EXPECT_NE(made, nullptr);
    m_path = templ;
    EXPECT_EQ(chdir(m_path.c_str()), 0);
}

TempWorkDir::~TempWorkDir() {
    if (!m_previous.empty()) (void)chdir(m_previous.c_str());
    std::error_code ec;
    fs::remove_all(m_path, ec);
}

void TempWorkDir::WriteFile(const std::string& relative, const std::string& content) const {
    fs::path p = fs::path(m_path) / relative;
    fs::create_directories(p.parent_path());
    std::ofstream out(p, std::ios::binary);
    out << content;
}

std::string TempWorkDir::ReadFile(const std::string& relative) const {
    std::ifstream in(fs::path(m_path) / relative, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

bool TempWorkDir::Exists(const std::string& relative) const {
    return fs::exists(fs::path(m_path) / relative);
}

} // namespace kvtest
