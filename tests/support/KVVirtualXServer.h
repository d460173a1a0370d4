#pragma once
// A private virtual X server (Xvfb) for tests that need a real X11 window:
// started on a display number it picks itself, stopped with the object.
#include <sys/types.h>

#include <string>

namespace kvtest {

class KVVirtualXServer {
public:
    // Starts Xvfb with one screen of width x height at the given depth and
    // waits (seconds at most) until it takes connections. Started() tells
    // whether it did; Why() says what went wrong otherwise.
    KVVirtualXServer(int width, int height, int depth, double seconds = 20.0);
    ~KVVirtualXServer();
    KVVirtualXServer(const KVVirtualXServer&) = delete;
    KVVirtualXServer& operator=(const KVVirtualXServer&) = delete;

    bool Started() const { return !m_display.empty(); }
    // ":N", the value for DISPLAY.
    const std::string& Display() const { return m_display; }
    const std::string& Why() const { return m_why; }

private:
    pid_t m_pid = -1;
    std::string m_display;
    std::string m_why;
};

} // namespace kvtest
