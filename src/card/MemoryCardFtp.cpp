#include "card/MemoryCardFtp.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <system_error>
#include <thread>
#include <utility>

#include "card/FtpListParser.h"
#include "card/InternetSession.h"
#include "card/MemoryCardOwner.h"
#include "card/ParseMode.h"
#include "common/FileDescriptor.h"
#include "common/FileHelpers.h"
#include "common/Log.h"
#include "common/PcFileMoves.h"
#include "common/PendingFile.h"
#include "common/SystemError.h"

namespace {

// With the speed limit on, uploads go out in small pieces with rests between
// them, for console network stacks that cannot keep up with a full-speed stream.
constexpr size_t kLimitedPieceSize = 2048;
constexpr std::chrono::milliseconds kPieceRest{40};
constexpr std::chrono::milliseconds kListingRest{10};
constexpr size_t kMaxConnectErrorLength = 1023;
// A download whose size no listing gave stops here: far above any save file
// (a standard card holds 8 MB in all, the largest cards made 64 MB).
constexpr uint64_t kUnlistedDownloadLimit = uint64_t{64} << 20;

const char* const kConnectFailed = "エラー: FTP接続ができませんでした";
const char* const kConnectUnexplained = "FTP接続中に不明なエラーが発生しました";

void LogTimeout(const FtpResult& result, const char* operation, const std::string& name)
{
    if (result.timedOut) {
        Log(std::string("エラー : 時間切れです MemoryCardFtp::") + operation + "() " + name);
    }
}

FtpResult Refused(std::errc reason) { return FtpResult{false, false, std::make_error_code(reason).message()}; }

}  // namespace

MemoryCardFtp::MemoryCardFtp(MemoryCardOwner* cardOwner, const std::string& address, FtpTimeLimits limits)
    : MemoryCard(cardOwner)
{
    Log("FTP接続開始");
    const InternetSession* session = owner != nullptr ? owner->GetInternetSession() : nullptr;
    FtpResult failure;
    if (session != nullptr && session->IsOpen()) {
        connection = FtpConnection::Open(address, session->Agent(), limits, failure);
    }
    if (connection == nullptr) {
        Log(kConnectFailed);
        const std::string detail = failure.error.substr(0, kMaxConnectErrorLength);
        Log(detail.empty() ? std::string(kConnectUnexplained) : detail);
        LogTimeout(failure, "MemoryCardFtp", address);
        return;
    }
    EnumerateMemoryCard();
}

MemoryCardFtp::~MemoryCardFtp()
{
    if (connection == nullptr) {
        Log("警告 : FTP未接続中に切断しようとしました");
    }
}

bool MemoryCardFtp::IsSpeedLimited() const { return owner != nullptr && owner->IsOptionChecked(Option::LimitFtpSpeed); }

std::string MemoryCardFtp::DirectoryPath(const std::string& directory) const
{
    const std::string slot = owner != nullptr ? owner->GetSlotText() : std::string();
    return "/mc/" + slot + "/" + (directory.empty() ? std::string() : directory + "/");
}

std::string MemoryCardFtp::PathInCurrentDirectory(const std::string& name) const
{
    return DirectoryPath(currentDirectory) + name;
}

bool MemoryCardFtp::ReadListing(const std::string& directoryPath, std::vector<std::string>& lines,
                                const char* operation, const std::string& failureMessage)
{
    const FtpResult result =
        connection != nullptr ? connection->List(directoryPath, lines) : FtpConnection::NotConnected();
    if (IsSpeedLimited()) {
        std::this_thread::sleep_for(kListingRest);
    }
    if (!result.ok) {
        Log(failureMessage);
        Log(result.error);
        LogTimeout(result, operation, directoryPath);
        return false;
    }
    return true;
}

void MemoryCardFtp::EnumerateMemoryCard()
{
    connection->Enter("/mc/");

    std::vector<std::string> lines;
    if (!ReadListing("/mc/", lines, "EnumerateMemoryCard",
                     "FTP : ファイルリストの取得に失敗しました MemoryCardFtp::EnumerateMemoryCard()")) {
        return;
    }
    Log("FTP : MemoryCardFtp::EnumerateMemoryCard() リストパース中");
    for (const std::string& line : lines) {
        FtpClient::FILE_DATA entry;
        if (!ParseListLine(line, entry) || entry.name.size() > 2 ||
            !std::all_of(entry.name.begin(), entry.name.end(), [](char c) { return c >= '0' && c <= '9'; })) {
            continue;
        }
        const int slot = std::stoi(entry.name);
        if (slot < 32) {
            slotMask |= 1u << slot;
        }
    }
}

bool MemoryCardFtp::SetCurrentDirectory(const std::string& directory)
{
    FtpResult result = FtpConnection::NotConnected();
    if (!directory.empty() && !IsPlainName(directory)) {
        result = Refused(std::errc::invalid_argument);
    } else if (connection != nullptr) {
        result = connection->Enter(DirectoryPath(directory));
    }
    if (result.ok) {
        currentDirectory = directory;
        return true;
    }
    Log("FTP : カレントディレクトリの設定に失敗しました");
    Log(result.error);
    LogTimeout(result, "SetCurrentDirectory", directory);
    return false;
}

std::vector<FtpClient::FILE_DATA> MemoryCardFtp::List()
{
    Log("MemoryCardFtp::List()");
    lastListFailed = true;
    listedDirectory.clear();
    listedSizes.clear();
    SetCurrentDirectory(currentDirectory);

    std::vector<FtpClient::FILE_DATA> entries;
    entries.reserve(64);
    std::vector<std::string> lines;
    if (!ReadListing(DirectoryPath(currentDirectory), lines, "List", "FTP : ファイルリストの取得に失敗しました")) {
        return entries;
    }
    lastListFailed = false;
    listedDirectory = DirectoryPath(currentDirectory);
    Log("MemoryCardFtp::List() リストパース中");
    for (const std::string& line : lines) {
        FtpClient::FILE_DATA entry;
        if (ParseListLine(line, entry) && PassesEntryFilter(entry.name)) {
            if (!entry.isDirectory) {
                listedSizes[entry.name] = entry.size;
            }
            entries.push_back(std::move(entry));
        }
        if (IsSpeedLimited()) {
            std::this_thread::sleep_for(kListingRest);
        }
    }
    return entries;
}

bool MemoryCardFtp::RunCommand(const std::string& verb, const std::string& name, const char* operation,
                               const std::string& failure)
{
    FtpResult result = FtpConnection::NotConnected();
    if (!IsPlainName(name)) {
        result = Refused(std::errc::invalid_argument);
    } else if (connection != nullptr) {
        result = connection->Command(DirectoryPath(currentDirectory), verb + " " + PathInCurrentDirectory(name));
    }
    if (result.ok) {
        return true;
    }
    Log(failure + name);
    Log(result.error);
    LogTimeout(result, operation, name);
    return false;
}

bool MemoryCardFtp::Remove(const std::string& name)
{
    Log("MemoryCardFtp::Remove()");
    SetCurrentDirectory(currentDirectory);
    listedSizes.erase(name);
    return RunCommand("DELE", name, "Remove", "FTP : ファイルの削除に失敗しました ");
}

bool MemoryCardFtp::RemoveDirectory(const std::string& name)
{
    Log("MemoryCardFtp::RemoveDirectory()");
    SetCurrentDirectory(currentDirectory);
    return RunCommand("RMD", name, "RemoveDirectory", "FTP : ディレクトリの削除に失敗しました ");
}

bool MemoryCardFtp::MakeDirectory(const std::string& name)
{
    Log("MemoryCardFtp::MakeDirectory()");
    SetCurrentDirectory(currentDirectory);
    return RunCommand("MKD", name, "MakeDirectory", "FTP : ディレクトリの作成に失敗しました ");
}

bool MemoryCardFtp::Put(const std::string& name)
{
    Log("MemoryCardFtp::Put()");
    SetCurrentDirectory(currentDirectory);
    // Whatever the card holds under the name afterwards, its listed size is past.
    listedSizes.erase(name);

    const bool limited = IsSpeedLimited();
    const std::string failure = limited ? "FTP : ファイルのアップロードに失敗しました(ホスト) "
                                        : "FTP : ファイルのアップロードに失敗しました ";
    // The local file is opened before anything is sent: a file that cannot be
    // read must not leave an empty one on the card.
    const auto localFailure = [&](const std::error_code& error) {
        Log((limited ? "FTP : ファイルのアップロードに失敗しました(ローカル) " : failure) + name);
        LogError(error);
        return false;
    };
    std::string pcFile;
    if (const std::error_code error = WorkingFolderFile(name, pcFile)) {
        return localFailure(error);
    }
    // A link inside a PC save is not followed: it could name any file the
    // user can read. Nor is a pipe waited on.
    FileDescriptor local;
    struct stat status {};
    if (const std::error_code error = OpenToCopy(pcFile, local, status, "MemoryCardFtp::Put() " + name)) {
        return localFailure(error);
    }
    ::posix_fadvise(local.get(), 0, 0, POSIX_FADV_SEQUENTIAL);

    size_t pieces = 0;
    uint64_t handed = 0;
    std::error_code readError;
    // libcurl asks for the next piece only once the previous one went out, so
    // resting here is resting after each piece, the last one included. The box
    // is read again at every piece: clearing it speeds up a running upload.
    const auto read = [&](char* buffer, size_t wanted) -> ssize_t {
        if (limited) {
            if (pieces > 0 && owner->IsOptionChecked(Option::LimitFtpSpeed)) {
                std::this_thread::sleep_for(kPieceRest);
            }
            wanted = std::min(wanted, kLimitedPieceSize);
        }
        ssize_t got = -1;
        do {
            got = ::read(local.get(), buffer, wanted);
        } while (got < 0 && errno == EINTR);
        if (got < 0) {
            readError = LastError();
            return -1;
        }
        if (got > 0) {
            ++pieces;
            handed += static_cast<uint64_t>(got);
            if (pieceObserver) {
                pieceObserver(static_cast<size_t>(got));
            }
        }
        return got;
    };
    const FtpResult result =
        connection != nullptr ? connection->Upload(PathInCurrentDirectory(name), read) : FtpConnection::NotConnected();
    if (result.ok) {
        return true;
    }
    Log(failure + name);
    if (readError) {
        LogError(readError);
    } else {
        Log(result.error);
    }
    LogTimeout(result, "Put", name);
    // Once data went out the server has created (or emptied) the file; a
    // half-written save must not stay on the card looking whole.
    if (handed > 0 && connection != nullptr) {
        connection->Command(DirectoryPath(currentDirectory), "DELE " + PathInCurrentDirectory(name));
    }
    return false;
}

bool MemoryCardFtp::Get(const std::string& name)
{
    Log("MemoryCardFtp::Get()");
    SetCurrentDirectory(currentDirectory);

    const std::string failure = "FTP : ファイルのダウンロードに失敗しました " + name;
    const auto fail = [&](const std::string& reason) {
        Log(reason);
        Log(failure);
        return false;
    };
    std::string pcFile;
    if (const std::error_code error = WorkingFolderFile(name, pcFile)) {
        return fail(error.message());
    }
    if (Exists(pcFile)) {
        return fail(std::make_error_code(std::errc::file_exists).message());
    }
    if (connection == nullptr) {
        return fail(FtpConnection::NotConnected().error);
    }

    // The data lands under a temporary name and takes the real one only when
    // complete: a broken transfer leaves no truncated file behind.
    PendingFile file(pcFile);
    if (const std::error_code error = file.Create()) {
        return fail(error.message());
    }
    // The size this directory's last listing gave; a name it did not hold
    // (or a directory not listed) gets the cap for files of no known size.
    uint64_t limit = kUnlistedDownloadLimit;
    if (const auto listed = listedSizes.find(name);
        listedDirectory == DirectoryPath(currentDirectory) && listed != listedSizes.end()) {
        limit = listed->second;
    }
    // More than the limit is more than the file holds: the transfer is stopped.
    uint64_t received = 0;
    bool oversize = false;
    std::error_code writeError;
    const auto write = [&](const char* data, size_t length) {
        received += length;
        if (received > limit) {
            oversize = true;
            return false;
        }
        writeError = file.Write(data, length);
        if (writeError) {
            return false;
        }
        if (pieceObserver) {
            pieceObserver(length);
        }
        return true;
    };
    const FtpResult result = connection->Download(PathInCurrentDirectory(name), write);
    if (oversize) {
        // A server sending more than the file holds is not trusted for any of it.
        Log("エラー : 一覧の大きさを超えたためダウンロードを中止しました MemoryCardFtp::Get() " + name);
        return fail(std::make_error_code(std::errc::file_too_large).message());
    }
    if (!result.ok) {
        fail(writeError ? writeError.message() : result.error);
        LogTimeout(result, "Get", name);
        return false;
    }
    // No flush to disk here: the rename already keeps a broken transfer from
    // leaving half a file, and a flush per file halved the copy rate.
    // The file may have appeared while the data came in; it is not replaced.
    if (const std::error_code error = file.CommitNew()) {
        return fail(error.message());
    }
    return true;
}
