#pragma once
// A real FTP server on loopback for one test: pyftpdlib serving a folder with
// anonymous write access. Transfers use active mode (PORT).
#include <string>
#include <vector>

#include "ServerProcess.h"

class FtpServer : public ServerProcess {
public:
    // Serves rootFolder. When it has no "mc" folder yet, mc/0 and mc/1 are
    // made first (two cards); prepare "mc" before to serve other cards.
    // Throws std::runtime_error when no server answers within seconds.
    explicit FtpServer(const std::string& rootFolder);
    // The same server misbehaving in one way, by tests/support/scripted_ftpd.py:
    // "trickle", "oversize", "short", "unlistable" or "lost-on-delete" (the
    // script says what each does).
    FtpServer(const std::string& rootFolder, const std::string& misbehaviour);

    // "127.0.0.1:PORT", as typed into the address field.
    std::string Address() const;
    // Every command line the server received so far, in order ("CWD /mc",
    // "LIST", ...); passwords read "PASS ******".
    std::vector<std::string> Commands() const;
};
