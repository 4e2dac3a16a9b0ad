#pragma once
// A real HTTP server on loopback for one test: Python's http.server serving a
// folder, on a free port, stopped (and waited for) by the destructor.
#include <sys/types.h>

#include <cstdint>
#include <string>

class HttpServer {
public:
    // Throws std::runtime_error when no server could be started in time.
    explicit HttpServer(const std::string& directory);
    ~HttpServer();
    HttpServer(const HttpServer&) = delete;
    HttpServer& operator=(const HttpServer&) = delete;

    uint16_t Port() const { return port; }
    // "http://127.0.0.1:PORT/" + path (path without a leading '/').
    std::string Url(const std::string& path) const;

private:
    bool Start(const std::string& directory);
    void Stop();

    pid_t pid = -1;
    uint16_t port = 0;
};

// A loopback port that nothing listens on (just released by the system).
uint16_t FreeLoopbackPort();
