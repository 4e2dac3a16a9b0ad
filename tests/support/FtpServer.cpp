#include "FtpServer.h"

#include <filesystem>
#include <sstream>

namespace fs = std::filesystem;

namespace {

void MakeCards(const std::string& rootFolder)
{
    if (!fs::exists(fs::path(rootFolder) / "mc")) {
        fs::create_directories(fs::path(rootFolder) / "mc" / "0");
        fs::create_directories(fs::path(rootFolder) / "mc" / "1");
    }
}

}  // namespace

FtpServer::FtpServer(const std::string& rootFolder)
{
    MakeCards(rootFolder);
    Start({"-m", "pyftpdlib", "-D", "-i", "127.0.0.1", "-p", "0", "-w", "-d", rootFolder},
          "starting FTP server on 127.0.0.1:");
}

FtpServer::FtpServer(const std::string& rootFolder, const std::string& misbehaviour)
{
    MakeCards(rootFolder);
    Start({TANSU_SCRIPTED_FTPD, rootFolder, misbehaviour}, "starting FTP server on 127.0.0.1:");
}

std::string FtpServer::Address() const { return "127.0.0.1:" + std::to_string(Port()); }

std::vector<std::string> FtpServer::Commands() const
{
    const std::string mark = "] <- ";
    std::vector<std::string> commands;
    std::istringstream log(Log());
    for (std::string line; std::getline(log, line);) {
        if (const size_t at = line.find(mark); at != std::string::npos) {
            commands.push_back(line.substr(at + mark.size()));
        }
    }
    return commands;
}
