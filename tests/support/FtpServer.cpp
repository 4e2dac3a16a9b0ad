#include "FtpServer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <chrono>
#include <filesystem>
#include <sstream>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace {

// Debian's interpreter holds python3-pyftpdlib; the python3 first on PATH may not.
constexpr const char* kPython = "/usr/bin/python3";
constexpr auto kReadyWait = std::chrono::seconds(10);
constexpr auto kPoll = std::chrono::milliseconds(20);
constexpr const char* kStartedMark = "starting FTP server on 127.0.0.1:";
constexpr const char* kCommandMark = "] <- ";

bool Accepts(uint16_t port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return false;
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool connected = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return connected;
}

bool Exited(pid_t pid) { return ::waitpid(pid, nullptr, WNOHANG) == pid; }

// The port the server announced in its log, 0 while it has not.
uint16_t AnnouncedPort(const std::string& log)
{
    const size_t mark = log.find(kStartedMark);
    if (mark == std::string::npos) {
        return 0;
    }
    unsigned long value = 0;
    for (size_t at = mark + std::string(kStartedMark).size(); at < log.size() && std::isdigit(static_cast<unsigned char>(log[at])); ++at) {
        value = value * 10 + static_cast<unsigned long>(log[at] - '0');
    }
    return value > 0 && value < 65536 ? static_cast<uint16_t>(value) : 0;
}

}  // namespace

FtpServer::FtpServer(const std::string& rootFolder)
{
    namespace fs = std::filesystem;
    if (!fs::exists(fs::path(rootFolder) / "mc")) {
        fs::create_directories(fs::path(rootFolder) / "mc" / "0");
        fs::create_directories(fs::path(rootFolder) / "mc" / "1");
    }

    // Port 0: the server binds a free port itself and announces it, so no
    // other program can take the port between choosing and binding it.
    std::vector<std::string> arguments = {kPython, "-u", "-m", "pyftpdlib", "-D", "-i", "127.0.0.1",
                                          "-p",    "0",  "-w", "-d",        rootFolder};
    std::vector<char*> argv;
    for (std::string& argument : arguments) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);
    const std::string logPath = logFolder / "server.log";
    const int log = ::open(logPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    const int null = ::open("/dev/null", O_RDWR | O_CLOEXEC);
    const pid_t parent = ::getpid();
    pid = log >= 0 && null >= 0 ? ::fork() : -1;
    if (pid == 0) {
        // Only async-signal-safe calls here. A test program that crashes
        // takes its server down with it instead of leaving it running.
        if (::prctl(PR_SET_PDEATHSIG, SIGKILL) != 0 || ::getppid() != parent || ::dup2(null, STDIN_FILENO) < 0 ||
            ::dup2(null, STDOUT_FILENO) < 0 || ::dup2(log, STDERR_FILENO) < 0) {
            ::_exit(127);
        }
        ::execve(kPython, argv.data(), environ);
        ::_exit(127);
    }
    if (log >= 0) {
        ::close(log);
    }
    if (null >= 0) {
        ::close(null);
    }
    if (pid < 0) {
        throw std::runtime_error("could not start " + std::string(kPython));
    }

    const auto deadline = std::chrono::steady_clock::now() + kReadyWait;
    while (std::chrono::steady_clock::now() < deadline) {
        if (Exited(pid)) {
            pid = -1;
            throw std::runtime_error("the FTP server ended at once:\n" + ReadText(logPath));
        }
        port = AnnouncedPort(ReadText(logPath));
        if (port != 0 && Accepts(port)) {
            return;
        }
        std::this_thread::sleep_for(kPoll);
    }
    Stop();
    throw std::runtime_error("the FTP server did not answer in time");
}

FtpServer::~FtpServer() { Stop(); }

std::string FtpServer::Address() const { return "127.0.0.1:" + std::to_string(port); }

void FtpServer::Stop()
{
    if (pid <= 0) {
        return;
    }
    // Nothing can catch or delay SIGKILL, so the wait is short.
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
    pid = -1;
}

std::vector<std::string> FtpServer::Commands() const
{
    std::vector<std::string> commands;
    std::istringstream log(ReadText(logFolder / "server.log"));
    for (std::string line; std::getline(log, line);) {
        const size_t mark = line.find(kCommandMark);
        if (mark != std::string::npos) {
            commands.push_back(line.substr(mark + std::string(kCommandMark).size()));
        }
    }
    return commands;
}
