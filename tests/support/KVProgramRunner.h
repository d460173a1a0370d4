#pragma once
// Runs the real program ("kelvane" in the build tree) in a game directory,
// as a person would: SDL's dummy video and audio drivers, standard output
// and standard error kept in files, and a time limit after which the
// program counts as hung and is killed.
#include <sys/resource.h>
#include <sys/types.h>

#include <string>

namespace kvtest {

struct KVProgramResult {
    bool exited = false;     // ended through exit or a return from main
    int status = -1;         // its exit status
    int signal = 0;          // the signal that ended it otherwise
    bool hung = false;       // still running at the time limit (then killed)
    double seconds = 0.0;    // from the start, or from the signal when one was sent
    double cpuSeconds = 0.0; // user and system time it used
    std::string out;
    std::string err;
};

class KVProgramRunner {
public:
    // The program of this build tree.
    static std::string ProgramPath();

    explicit KVProgramRunner(std::string gameDirectory);
    ~KVProgramRunner();
    KVProgramRunner(const KVProgramRunner&) = delete;
    KVProgramRunner& operator=(const KVProgramRunner&) = delete;

    // Starts the program; false when it could not be started.
    bool Start();
    // Waits until the program catches SIGTERM (its own handler is in
    // place); false when it ended or the time ran out first.
    bool WaitUntilSignalsAreCaught(double seconds);
    // Sends the signal; the result's time counts from here.
    void Signal(int signal);
    // True, with the result, once the program has ended; never blocks.
    bool Poll(KVProgramResult* out);
    // Waits for the end, at most the given time from the start or signal.
    KVProgramResult Wait(double seconds);
    // The processor time (user and system) the running program has used so
    // far; negative once it has ended or when it cannot be read.
    double CpuSecondsSoFar() const;

    // Start, then Wait.
    static KVProgramResult Run(const std::string& gameDirectory, double seconds);

private:
    void Finish(int status, const struct rusage& usage, KVProgramResult* out);

    std::string m_directory;
    pid_t m_pid = -1;
    double m_since = 0.0;
};

} // namespace kvtest
