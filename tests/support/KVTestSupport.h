#pragma once
// Helpers shared by the tests.
#include <string>

namespace kvtest {

// A fresh temporary directory that becomes the working directory for the
// test's lifetime and is removed afterwards.
class TempWorkDir {
public:
    TempWorkDir();
    ~TempWorkDir();
    const std::string& Path() const { return m_path; }
    // Writes a file below the directory, creating parent directories.
    void WriteFile(const std::string& relative, const std::string& content) const;
    std::string ReadFile(const std::string& relative) const;
    bool Exists(const std::string& relative) const;

private:
    std::string m_path;
    std::string m_previous;
};

} // namespace kvtest
