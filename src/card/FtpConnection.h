#pragma once
// One control connection to an FTP server, through one libcurl easy handle:
// its connection cache keeps the control connection open from one command to
// the next, and it remembers the server's working directory, so a command in
// the same directory sends no CWD again. Anonymous login, active mode (the
// console connects back for every transfer), and time limits on everything.
#include <array>
#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <sys/types.h>

// Limits on every exchange: a console that stops answering must not freeze
// the window or the shut-down.
struct FtpTimeLimits {
    std::chrono::seconds connect{10};
    // A reply that does not come within this long is given up.
    std::chrono::seconds stall{60};
    // A transfer that moves less than slowBytesPerSecond on average for
    // slowTime is given up: a server trickling a few bytes now and then
    // would otherwise hold the window for good. A console moves tens of
    // kilobytes a second at the least, with the speed limit's rests.
    long slowBytesPerSecond = 1024;
    std::chrono::seconds slowTime{30};
};

// What one exchange with the server came to.
struct FtpResult {
    bool ok = false;
    // The server did not answer, or did not connect back, within the limits.
    bool timedOut = false;
    // libcurl's words for the failure, and the server's refusal when there was one.
    std::string error;
};

class FtpConnection {
public:
    // Connects to address ("host", "host:port", "[v6]" or "[v6]:port", a bare
    // v6 address too; port 21 otherwise) and logs in. Null when the address
    // is none or the login failed; failure then holds libcurl's own words
    // (empty when it gave none, or when the address was no address at all).
    static std::unique_ptr<FtpConnection> Open(const std::string& address, const std::string& agent,
                                               FtpTimeLimits limits, FtpResult& failure);
    // What every exchange comes to without a connection.
    static FtpResult NotConnected();

    FtpConnection(const FtpConnection&) = delete;
    FtpConnection& operator=(const FtpConnection&) = delete;
    // Sends QUIT; a server that no longer answers gets a short wait only.
    ~FtpConnection();

    // Paths are absolute on the server; a directory ends with '/'. A path or
    // command holding a line break or a NUL is refused before anything is sent.

    // Changes to the directory and nothing more; a directory that does not
    // exist fails it.
    FtpResult Enter(const std::string& directory);
    // Changes to the directory after sending a command that answers without
    // data (DELE, RMD, MKD); the command must be answered below 400.
    FtpResult Command(const std::string& directory, const std::string& command);
    // The LIST answer of the directory, split at line feeds, carriage returns
    // dropped; a last line without a line feed counts. A card directory lists
    // a few hundred short lines at most: an answer past 1 MB fails.
    FtpResult List(const std::string& directory, std::vector<std::string>& lines);
    // Uploads to the file: read fills a buffer and gives the bytes it put
    // there, 0 at the end, -1 to give the transfer up.
    FtpResult Upload(const std::string& path, const std::function<ssize_t(char*, size_t)>& read);
    // Downloads the file: write takes each block as it comes; false stops
    // the transfer.
    FtpResult Download(const std::string& path, const std::function<bool(const char*, size_t)>& write);

private:
    struct Request;

    FtpConnection(void* easy, std::string server, std::string agentName, FtpTimeLimits timeLimits);
    FtpResult Perform(const Request& request);
    // Empty when libcurl gave no words of its own.
    std::string DetailText() const;
    std::string Url(const std::string& path) const;

    void* handle;
    std::string serverUrl;
    std::string lastReply;
    std::string agent;
    FtpTimeLimits limits;
    std::array<char, 256> errorText{};
};
