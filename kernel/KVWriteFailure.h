#pragma once
// A log file that cannot be written ("log.txt", "loglua.txt") says so once
// on standard error, as "<name>: cannot write: <reason>", and the program
// goes on; every later failure of the same file is silent.
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace kvl {

class KVWriteFailure {
public:
    explicit KVWriteFailure(const char* name) : m_name(name) {}

    // errorNumber is errno after the failed call (0 when it said nothing).
    void Report(int errorNumber) {
        if (m_reported) return;
        m_reported = true;
        std::fprintf(stderr, "%s: cannot write: %s\n", m_name,
                     errorNumber ? std::strerror(errorNumber) : "the file layer refused it");
    }
    bool Reported() const { return m_reported; }

private:
    const char* m_name;
    bool m_reported = false;
};

} // namespace kvl
