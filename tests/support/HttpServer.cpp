#include "HttpServer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <stdexcept>
#include <thread>
#include <vector>

extern char** environ;

namespace {

// Debian's interpreter: the python3 first on PATH may be another one.
constexpr const char* kPython = "/usr/bin/python3";
constexpr int kStartAttempts = 3;
constexpr auto kReadyWait = std::chrono::seconds(10);
constexpr auto kStopWait = std::chrono::seconds(5);
constexpr auto kPoll = std::chrono::milliseconds(20);

sockaddr_in Loopback(uint16_t port)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

bool Accepts(uint16_t port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return false;
    }
    const sockaddr_in address = Loopback(port);
    const bool connected = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return connected;
}

bool Exited(pid_t pid)
{
    int status = 0;
    return ::waitpid(pid, &status, WNOHANG) == pid;
}

}  // namespace

uint16_t FreeLoopbackPort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        throw std::runtime_error("no socket");
    }
    sockaddr_in address = Loopback(0);
    socklen_t length = sizeof address;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        ::close(fd);
        throw std::runtime_error("no free loopback port");
    }
    ::close(fd);
    return ntohs(address.sin_port);
}

HttpServer::HttpServer(const std::string& directory)
{
    // The port is free when chosen but may be taken before the server binds it: try again.
    for (int attempt = 0; attempt < kStartAttempts; ++attempt) {
        if (Start(directory)) {
            return;
        }
    }
    throw std::runtime_error("the loopback HTTP server did not start");
}

HttpServer::~HttpServer() { Stop(); }

std::string HttpServer::Url(const std::string& path) const
{
    return "http://127.0.0.1:" + std::to_string(port) + "/" + path;
}

bool HttpServer::Start(const std::string& directory)
{
    port = FreeLoopbackPort();
    const std::string portText = std::to_string(port);
    std::vector<std::string> arguments = {kPython,   "-m",     "http.server", "--bind",
                                          "127.0.0.1", portText, "--directory", directory};
    std::vector<char*> argv;
    for (std::string& argument : arguments) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);

    // The server reports every request on standard error: keep the test output clean.
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    const int spawned = posix_spawn(&pid, kPython, &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        pid = -1;
        return false;
    }
    const auto deadline = std::chrono::steady_clock::now() + kReadyWait;
    while (std::chrono::steady_clock::now() < deadline) {
        // A server that lost the port to someone else exits at once.
        if (Exited(pid)) {
            pid = -1;
            return false;
        }
        if (Accepts(port)) {
            return true;
        }
        std::this_thread::sleep_for(kPoll);
    }
    Stop();
    return false;
}

void HttpServer::Stop()
{
    if (pid <= 0) {
        return;
    }
    ::kill(pid, SIGTERM);
    const auto deadline = std::chrono::steady_clock::now() + kStopWait;
    while (!Exited(pid)) {
        if (std::chrono::steady_clock::now() >= deadline) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
            break;
        }
        std::this_thread::sleep_for(kPoll);
    }
    pid = -1;
}
