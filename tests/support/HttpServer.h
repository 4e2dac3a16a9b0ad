#pragma once
// A real HTTP server on loopback for one test: Python's http.server serving a folder.
#include <string>

#include "ServerProcess.h"

class HttpServer : public ServerProcess {
public:
    // Throws std::runtime_error when no server could be started in time.
    explicit HttpServer(const std::string& directory);

    // "http://127.0.0.1:PORT/" + path (path without a leading '/').
    std::string Url(const std::string& path) const;
};
