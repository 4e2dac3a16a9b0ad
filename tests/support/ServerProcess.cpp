#include "ServerProcess.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace {

// Debian's interpreter holds python3-pyftpdlib; the python3 first on PATH may not.
constexpr const char* kPython = "/usr/bin/python3";

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
    const sockaddr_in address = Loopback(port);
    const bool connected = fd >= 0 && ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return connected;
}

}  // namespace

uint16_t FreeLoopbackPort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address = Loopback(0);
    socklen_t length = sizeof address;
    const bool bound = fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
                       ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0;
    ::close(fd);
    if (!bound) {
        throw std::runtime_error("no free loopback port");
    }
    return ntohs(address.sin_port);
}

ServerProcess::~ServerProcess() { Stop(); }

std::string ServerProcess::Log() const { return ReadText(logFolder / "server.log"); }

void ServerProcess::Start(const std::vector<std::string>& arguments, const std::string& portMark)
{
    std::vector<std::string> command = {kPython, "-u"};
    command.insert(command.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& argument : command) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);
    const int log = ::open((logFolder / "server.log").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    const int null = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    const pid_t parent = ::getpid();
    pid = log >= 0 && null >= 0 ? ::fork() : -1;
    if (pid == 0) {
        // Only async-signal-safe calls between fork and exec.
        if (::prctl(PR_SET_PDEATHSIG, SIGKILL) == 0 && ::getppid() == parent && ::dup2(null, STDIN_FILENO) >= 0 &&
            ::dup2(log, STDOUT_FILENO) >= 0 && ::dup2(log, STDERR_FILENO) >= 0) {
            ::execve(kPython, argv.data(), environ);
        }
        ::_exit(127);
    }
    ::close(log);
    ::close(null);

    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (pid > 0 && std::chrono::steady_clock::now() < deadline) {
        if (::waitpid(pid, nullptr, WNOHANG) == pid) {
            pid = -1;
            break;
        }
        const std::string text = Log();
        const size_t mark = text.find(portMark);
        const unsigned long announced =
            mark == std::string::npos ? 0 : std::strtoul(text.c_str() + mark + portMark.size(), nullptr, 10);
        port = announced < 65536 ? static_cast<uint16_t>(announced) : 0;
        if (port != 0 && Accepts(port)) {
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    Stop();
    throw std::runtime_error("the loopback server did not start:\n" + Log());
}

void ServerProcess::Stop()
{
    if (pid > 0) {
        // Nothing can catch or delay SIGKILL, so the wait is short.
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
        pid = -1;
    }
}
