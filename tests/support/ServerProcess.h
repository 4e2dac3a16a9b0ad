#pragma once
// A Python server on loopback for one test. It binds a free port itself and
// announces it, so no other program can take the port between choosing and
// binding it. Killed and reaped by Stop() or the destructor, and by the system
// when the test program dies first.
#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

#include "TestSupport.h"

class ServerProcess {
public:
    ServerProcess(const ServerProcess&) = delete;
    ServerProcess& operator=(const ServerProcess&) = delete;

    uint16_t Port() const { return port; }
    // Kills the server at once, mid-transfer included, and waits for it.
    void Stop();

protected:
    ServerProcess() = default;
    ~ServerProcess();
    // Runs "/usr/bin/python3 -u <arguments>" with its output in Log() until the
    // log holds portMark followed by the port and that port accepts.
    // Throws std::runtime_error when it does not within seconds.
    void Start(const std::vector<std::string>& arguments, const std::string& portMark);
    std::string Log() const;

private:
    TempDir logFolder;
    pid_t pid = -1;
    uint16_t port = 0;
};

// A loopback port that nothing listens on (just released by the system).
uint16_t FreeLoopbackPort();
