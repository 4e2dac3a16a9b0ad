#pragma once
// A real FTP server on loopback for one test: pyftpdlib serving a folder with
// anonymous write access, on a port of its own choosing, killed and waited
// for by Stop() or the destructor. Transfers use active mode (PORT).
#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

#include "TestSupport.h"

class FtpServer {
public:
    // Serves rootFolder. When it has no "mc" folder yet, mc/0 and mc/1 are
    // made first (two cards); prepare "mc" before to serve other cards.
    // Throws std::runtime_error when no server answers within seconds.
    explicit FtpServer(const std::string& rootFolder);
    ~FtpServer();
    FtpServer(const FtpServer&) = delete;
    FtpServer& operator=(const FtpServer&) = delete;

    uint16_t Port() const { return port; }
    // "127.0.0.1:PORT", as typed into the address field.
    std::string Address() const;
    // Kills the server at once, mid-transfer included, and waits for it.
    void Stop();

    // Every command line the server received so far, in order ("CWD /mc",
    // "LIST", ...); passwords read "PASS ******".
    std::vector<std::string> Commands() const;

private:
    TempDir logFolder;
    pid_t pid = -1;
    uint16_t port = 0;
};
