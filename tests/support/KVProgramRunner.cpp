#include "KVProgramRunner.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

extern char** environ;

namespace kvtest {
namespace {

double Now() {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

} // namespace

std::string KVProgramRunner::ProgramPath() { return std::string(KV_BINARY_DIR) + "/kelvane"; }

KVProgramRunner::KVProgramRunner(std::string gameDirectory) : m_directory(std::move(gameDirectory)) {}

KVProgramRunner::~KVProgramRunner() {
    if (m_pid > 0) {
        kill(m_pid, SIGKILL);
        waitpid(m_pid, nullptr, 0);
    }
}

bool KVProgramRunner::Start() {
    const std::string program = ProgramPath();
    const std::string out = m_directory + "/stdout.txt";
    const std::string err = m_directory + "/stderr.txt";
    // The environment is made before the fork: the child only calls what
    // is safe between fork and exec.
    std::vector<std::string> variables = {"SDL_VIDEODRIVER=dummy", "SDL_AUDIODRIVER=dummy"};
    for (char** e = environ; *e; ++e) {
        const std::string v = *e;
        if (v.rfind("SDL_VIDEODRIVER=", 0) != 0 && v.rfind("SDL_AUDIODRIVER=", 0) != 0) variables.push_back(v);
    }
    std::vector<char*> envp;
    for (std::string& v : variables) envp.push_back(&v[0]);
    envp.push_back(nullptr);
    char* argv[] = {const_cast<char*>(program.c_str()), nullptr};
    m_since = Now();
    m_pid = fork();
    if (m_pid < 0) return false;
    if (m_pid == 0) {
        // Only async-signal-safe calls from here on.
        int o = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        int e = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        int in = open("/dev/null", O_RDONLY);
        if (o < 0 || e < 0 || in < 0 || chdir(m_directory.c_str()) != 0) _exit(126);
        dup2(in, 0);
        dup2(o, 1);
        dup2(e, 2);
        execve(program.c_str(), argv, envp.data());
        _exit(127);
    }
    return true;
}

bool KVProgramRunner::WaitUntilSignalsAreCaught(double seconds) {
    const std::string status = "/proc/" + std::to_string(m_pid) + "/status";
    const unsigned long long termBit = 1ull << (SIGTERM - 1);
    const double end = Now() + seconds;
    while (Now() < end) {
        std::ifstream in(status);
        std::string line;
        bool alive = false;
        while (std::getline(in, line)) {
            if (line.rfind("State:", 0) == 0) alive = line.find('Z') == std::string::npos;
            if (line.rfind("SigCgt:", 0) == 0 && alive) {
                if (std::stoull(line.substr(7), nullptr, 16) & termBit) return true;
            }
        }
        if (!alive) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return false;
}

void KVProgramRunner::Signal(int signal) {
    kill(m_pid, signal);
    m_since = Now();
}

void KVProgramRunner::Finish(int status, const struct rusage& usage, KVProgramResult* out) {
    out->seconds = Now() - m_since;
    m_pid = -1;
    out->exited = WIFEXITED(status);
    out->status = out->exited ? WEXITSTATUS(status) : -1;
    out->signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    out->cpuSeconds = double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                      double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    out->out = ReadAll(m_directory + "/stdout.txt");
    out->err = ReadAll(m_directory + "/stderr.txt");
}

bool KVProgramRunner::Poll(KVProgramResult* out) {
    if (m_pid <= 0) return false;
    int status = 0;
    struct rusage usage {};
    if (wait4(m_pid, &status, WNOHANG, &usage) != m_pid) return false;
    Finish(status, usage, out);
    return true;
}

double KVProgramRunner::CpuSecondsSoFar() const {
    if (m_pid <= 0) return -1.0;
    std::ifstream in("/proc/" + std::to_string(m_pid) + "/stat");
    std::string stat;
    std::getline(in, stat);
    // The name in parentheses may hold spaces; the fields after it are
    // state (3), ... utime (14) and stime (15).
    const size_t close = stat.rfind(')');
    if (close == std::string::npos) return -1.0;
    std::istringstream fields(stat.substr(close + 1));
    std::string field;
    unsigned long long user = 0, system = 0;
    for (int number = 3; number <= 15 && fields >> field; ++number) {
        if (number == 14) user = std::stoull(field);
        if (number == 15) system = std::stoull(field);
    }
    if (!fields) return -1.0;
    return double(user + system) / double(sysconf(_SC_CLK_TCK));
}

KVProgramResult KVProgramRunner::Wait(double seconds) {
    KVProgramResult result;
    const double end = m_since + seconds;
    while (Now() < end) {
        if (Poll(&result)) return result;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    if (Poll(&result) || m_pid <= 0) return result;
    kill(m_pid, SIGKILL);
    int status = 0;
    struct rusage usage {};
    wait4(m_pid, &status, 0, &usage);
    Finish(status, usage, &result);
    result.hung = true;
    return result;
}

KVProgramResult KVProgramRunner::Run(const std::string& gameDirectory, double seconds) {
    KVProgramRunner runner(gameDirectory);
    if (!runner.Start()) return KVProgramResult();
    return runner.Wait(seconds);
}

} // namespace kvtest
