#pragma once
// The cards of a PlayStation 2 reached through an FTP server running on the
// console, which shows them as the directories /mc/0 and /mc/1. One control
// connection is opened in the constructor and kept for every later command.
#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "card/FtpConnection.h"
#include "card/MemoryCard.h"

class MemoryCardFtp : public MemoryCard {
public:
    // address: a host name or IP address, optionally ":port" (21 otherwise).
    MemoryCardFtp(MemoryCardOwner* owner, const std::string& address, FtpTimeLimits limits = {});
    ~MemoryCardFtp() override;

    bool IsConnected() override { return connection != nullptr; }
    bool SetCurrentDirectory(const std::string& directory) override;
    std::vector<FtpClient::FILE_DATA> List() override;
    bool Remove(const std::string& name) override;
    bool Put(const std::string& name) override;
    bool Get(const std::string& name) override;
    bool RemoveDirectory(const std::string& name) override;
    bool MakeDirectory(const std::string& name) override;

    // Told the size of every piece an upload hands to the connection and of
    // every block a download receives, as it happens (progress, tests).
    std::function<void(size_t)> pieceObserver;

private:
    void EnumerateMemoryCard();
    // Reads a LIST answer of the directory as lines; false (logged) on failure.
    bool ReadListing(const std::string& directoryPath, std::vector<std::string>& lines, const char* operation,
                     const std::string& failureMessage);
    // One command that answers without data (DELE, RMD, MKD) on a path below
    // the current directory.
    bool RunCommand(const std::string& verb, const std::string& name, const char* operation,
                    const std::string& failure);
    bool IsSpeedLimited() const;
    // "/mc/<slot>/<directory>" (with the trailing '/' when the directory is empty).
    std::string DirectoryPath(const std::string& directory) const;
    std::string PathInCurrentDirectory(const std::string& name) const;

    std::unique_ptr<FtpConnection> connection;
    std::string currentDirectory;
    // The file sizes the last List() gave and the directory they belong to
    // ("/mc/0/SAVE/"): a download never takes more than its listing said.
    std::string listedDirectory;
    std::map<std::string, uint32_t> listedSizes;
};
