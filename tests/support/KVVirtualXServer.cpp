#include "KVVirtualXServer.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>

namespace kvtest {

KVVirtualXServer::KVVirtualXServer(int width, int height, int depth, double seconds) {
    int fds[2];
    if (pipe(fds) != 0) {
        m_why = "no pipe";
        return;
    }
    const std::string fd = std::to_string(fds[1]);
    const std::string screen = std::to_string(width) + "x" + std::to_string(height) + "x" + std::to_string(depth);
    m_pid = fork();
    if (m_pid == 0) {
        close(fds[0]);
        const int null = open("/dev/null", O_RDWR);
        if (null >= 0) {
            dup2(null, STDOUT_FILENO);
            dup2(null, STDERR_FILENO);
        }
        // The server writes its display number to the pipe once it listens.
        // Without -noreset it starts over whenever its last client leaves,
        // and turns connections away meanwhile: SDL opens and closes one
        // before the one it keeps.
        execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", screen.c_str(), "-nolisten", "tcp",
               "-noreset", static_cast<char*>(nullptr));
        _exit(127);
    }
    close(fds[1]);
    if (m_pid < 0) {
        close(fds[0]);
        m_why = "no process";
        return;
    }
    std::string number;
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (number.find('\n') == std::string::npos) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
        pollfd p{fds[0], POLLIN, 0};
        if (left.count() <= 0 || poll(&p, 1, int(left.count())) <= 0) break;
        char c[16];
        const ssize_t n = read(fds[0], c, sizeof(c));
        if (n <= 0) break;
        number.append(c, size_t(n));
    }
    close(fds[0]);
    if (number.find('\n') == std::string::npos) {
        int status = 0;
        const bool ended = waitpid(m_pid, &status, WNOHANG) == m_pid;
        m_why = ended && WIFEXITED(status) && WEXITSTATUS(status) == 127 ? "Xvfb is not installed"
                                                                          : "Xvfb did not start";
        return;
    }
    m_display = ":" + number.substr(0, number.find('\n'));
}

KVVirtualXServer::~KVVirtualXServer() {
    if (m_pid <= 0) return;
    kill(m_pid, SIGTERM);
    int status = 0;
    waitpid(m_pid, &status, 0);
}

} // namespace kvtest
