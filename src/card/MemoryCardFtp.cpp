#include "card/MemoryCardFtp.h"

#include <curl/curl.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <string_view>
#include <system_error>
#include <thread>
#include <utility>

#include "card/FtpListParser.h"
#include "card/InternetSession.h"
#include "card/MemoryCardOwner.h"
#include "card/ParseMode.h"
#include "common/FileDescriptor.h"
#include "common/FileRead.h"
#include "common/Log.h"
#include "common/PendingFile.h"

namespace {

// With the speed limit on, uploads go out in small pieces with rests between
// them, for console network stacks that cannot keep up with a full-speed stream.
constexpr size_t kLimitedPieceSize = 2048;
constexpr std::chrono::milliseconds kPieceRest{40};
constexpr std::chrono::milliseconds kListingRest{10};
// A card directory lists a few hundred short lines at most.
constexpr size_t kMaxListingBytes = 1 << 20;
constexpr size_t kMaxConnectErrorLength = 1023;
// A download whose size no listing gave stops here: far above any save file
// (a standard card holds 8 MB in all, the largest cards made 64 MB).
constexpr uint64_t kUnlistedDownloadLimit = uint64_t{64} << 20;
constexpr size_t kMaxReplyLength = 512;

const char* const kConnectFailed = "エラー: FTP接続ができませんでした";
const char* const kConnectUnexplained = "FTP接続中に不明なエラーが発生しました";

// One entry of a card directory: nothing that could reach outside it, and
// nothing that could end an FTP command line early.
bool IsPlainName(const std::string& name)
{
    return !name.empty() && name != "." && name != ".." &&
           name.find_first_of(std::string_view("/\0\r\n", 4)) == std::string::npos;
}

bool IsTimeout(CURLcode code) { return code == CURLE_OPERATION_TIMEDOUT || code == CURLE_FTP_ACCEPT_TIMEOUT; }

// "host", "host:port", "[v6]" or "[v6]:port" (a bare v6 address too) as the
// start of an ftp:// URL; false when it is no host name or address at all.
bool ServerUrl(std::string address, std::string& url)
{
    const auto blank = [](char c) { return c == ' ' || c == '\t'; };
    while (!address.empty() && blank(address.back())) {
        address.pop_back();
    }
    address.erase(address.begin(), std::find_if_not(address.begin(), address.end(), blank));

    std::string host = address;
    std::string port = "21";
    if (!address.empty() && address.front() == '[') {
        const size_t close = address.find(']');
        if (close == std::string::npos) {
            return false;
        }
        host = address.substr(0, close + 1);
        const std::string after = address.substr(close + 1);
        if (!after.empty()) {
            if (after.front() != ':') {
                return false;
            }
            port = after.substr(1);
        }
    } else if (std::count(address.begin(), address.end(), ':') == 1) {
        const size_t colon = address.find(':');
        host = address.substr(0, colon);
        port = address.substr(colon + 1);
    } else if (address.find(':') != std::string::npos) {
        host = "[" + address + "]";
    }

    const bool hostOk = !host.empty() && std::all_of(host.begin(), host.end(), [](char c) {
        return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '.' || c == '-' ||
               c == '_' || c == ':' || c == '[' || c == ']';
    });
    const bool portOk = !port.empty() && port.size() <= 5 &&
                        std::all_of(port.begin(), port.end(), [](char c) { return c >= '0' && c <= '9'; }) &&
                        std::stoi(port) >= 1 && std::stoi(port) <= 65535;
    if (!hostOk || !portOk) {
        return false;
    }
    url = "ftp://" + host + ":" + port;
    return true;
}

void LogTimeout(CURLcode code, const char* operation, const std::string& name)
{
    if (IsTimeout(code)) {
        Log(std::string("エラー : 時間切れです MemoryCardFtp::") + operation + "() " + name);
    }
}

size_t DiscardData(char*, size_t size, size_t count, void*) { return size * count; }

struct ListingSink {
    std::string text;
};

size_t CollectListing(char* data, size_t size, size_t count, void* user)
{
    auto& sink = *static_cast<ListingSink*>(user);
    const size_t length = size * count;
    if (sink.text.size() + length > kMaxListingBytes) {
        return 0;
    }
    sink.text.append(data, length);
    return length;
}

// Carriage returns dropped, split at line feeds; a last line without one counts.
std::vector<std::string> SplitLines(const std::string& text)
{
    std::vector<std::string> lines;
    std::string line;
    for (const char c : text) {
        if (c == '\n') {
            lines.push_back(std::move(line));
            line.clear();
        } else if (c != '\r') {
            line.push_back(c);
        }
    }
    if (!line.empty()) {
        lines.push_back(std::move(line));
    }
    return lines;
}

struct DownloadSink {
    PendingFile* file;
    const std::function<void(size_t)>* observer;
    // More than this is more than the file holds: the transfer is stopped.
    uint64_t limit = 0;
    uint64_t received = 0;
    bool oversize = false;
    std::error_code error;
};

size_t WriteDownload(char* data, size_t size, size_t count, void* user)
{
    auto& sink = *static_cast<DownloadSink*>(user);
    const size_t length = size * count;
    sink.received += length;
    if (sink.received > sink.limit) {
        sink.oversize = true;
        return 0;
    }
    sink.error = sink.file->Write(data, length);
    if (sink.error) {
        return 0;
    }
    if (*sink.observer) {
        (*sink.observer)(length);
    }
    return length;
}

struct UploadSource {
    int file;
    bool limited;
    MemoryCardOwner* owner;
    const std::function<void(size_t)>* observer;
    size_t pieces = 0;
    uint64_t handed = 0;
    std::error_code error;
};

// libcurl asks for the next piece only once the previous one went out, so
// resting here is resting after each piece, the last one included. The box
// is read again at every piece: clearing it speeds up a running upload.
size_t ReadUpload(char* buffer, size_t size, size_t count, void* user)
{
    auto& source = *static_cast<UploadSource*>(user);
    size_t wanted = size * count;
    if (source.limited) {
        if (source.pieces > 0 && source.owner->IsOptionChecked(Option::LimitFtpSpeed)) {
            std::this_thread::sleep_for(kPieceRest);
        }
        wanted = std::min(wanted, kLimitedPieceSize);
    }
    ssize_t got = -1;
    do {
        got = ::read(source.file, buffer, wanted);
    } while (got < 0 && errno == EINTR);
    if (got < 0) {
        source.error = std::error_code(errno, std::generic_category());
        return CURL_READFUNC_ABORT;
    }
    if (got > 0) {
        ++source.pieces;
        source.handed += static_cast<uint64_t>(got);
        if (*source.observer) {
            (*source.observer)(static_cast<size_t>(got));
        }
    }
    return static_cast<size_t>(got);
}

void InitializeCurlOnce()
{
    static const CURLcode initialized = curl_global_init(CURL_GLOBAL_DEFAULT);
    static_cast<void>(initialized);
}

}  // namespace

// One libcurl easy handle: its connection cache keeps the control connection
// open from one command to the next, and it remembers the server's working
// directory, so a command in the same directory sends no CWD again.
class MemoryCardFtp::Connection {
public:
    struct Request {
        // Absolute on the server; a directory ends with '/'. Empty: log in only.
        std::string path;
        bool noBody = false;
        // Sent before anything else, each must be answered below 400.
        std::vector<std::string> commands;
        curl_write_callback write = DiscardData;
        void* writeData = nullptr;
        curl_read_callback read = nullptr;
        void* readData = nullptr;
    };

    Connection(CURL* easy, std::string server, std::string agentName, FtpTimeLimits timeLimits)
        : handle(easy), serverUrl(std::move(server)), agent(std::move(agentName)), limits(timeLimits)
    {
    }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    // Sends QUIT; a server that no longer answers gets a short wait only.
    ~Connection()
    {
        curl_easy_setopt(handle, CURLOPT_SERVER_RESPONSE_TIMEOUT, static_cast<long>(limits.connect.count()));
        curl_easy_cleanup(handle);
    }

    CURLcode Perform(const Request& request)
    {
        errorText[0] = '\0';
        lastReply.clear();
        const auto unsafe = [](const std::string& text) {
            return text.find_first_of(std::string_view("\0\r\n", 3)) != std::string::npos;
        };
        if (unsafe(request.path) || std::any_of(request.commands.begin(), request.commands.end(), unsafe)) {
            return CURLE_URL_MALFORMAT;
        }

        curl_easy_reset(handle);
        const std::string url = Url(request.path);
        curl_slist* commands = nullptr;
        for (const std::string& command : request.commands) {
            commands = curl_slist_append(commands, command.c_str());
        }
        curl_easy_setopt(handle, CURLOPT_URL, url.c_str());
        curl_easy_setopt(handle, CURLOPT_PROTOCOLS_STR, "ftp");
        curl_easy_setopt(handle, CURLOPT_ERRORBUFFER, errorText);
        curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(handle, CURLOPT_USERAGENT, agent.c_str());
        // The console connects back for every transfer.
        curl_easy_setopt(handle, CURLOPT_FTPPORT, "-");
        curl_easy_setopt(handle, CURLOPT_FTP_USE_EPRT, 0L);
        curl_easy_setopt(handle, CURLOPT_FTP_USE_EPSV, 0L);
        curl_easy_setopt(handle, CURLOPT_FTP_FILEMETHOD, static_cast<long>(CURLFTPMETHOD_SINGLECWD));
        curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT, static_cast<long>(limits.connect.count()));
        curl_easy_setopt(handle, CURLOPT_ACCEPTTIMEOUT_MS, static_cast<long>(limits.connect.count() * 1000));
        curl_easy_setopt(handle, CURLOPT_SERVER_RESPONSE_TIMEOUT, static_cast<long>(limits.stall.count()));
        curl_easy_setopt(handle, CURLOPT_LOW_SPEED_LIMIT, limits.slowBytesPerSecond);
        curl_easy_setopt(handle, CURLOPT_LOW_SPEED_TIME, static_cast<long>(limits.slowTime.count()));
        curl_easy_setopt(handle, CURLOPT_NOBODY, request.noBody ? 1L : 0L);
        curl_easy_setopt(handle, CURLOPT_QUOTE, commands);
        curl_easy_setopt(handle, CURLOPT_HEADERFUNCTION, KeepReply);
        curl_easy_setopt(handle, CURLOPT_HEADERDATA, &lastReply);
        curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, request.write);
        curl_easy_setopt(handle, CURLOPT_WRITEDATA, request.writeData);
        if (request.read != nullptr) {
            curl_easy_setopt(handle, CURLOPT_UPLOAD, 1L);
            curl_easy_setopt(handle, CURLOPT_READFUNCTION, request.read);
            curl_easy_setopt(handle, CURLOPT_READDATA, request.readData);
        }
        const CURLcode code = curl_easy_perform(handle);
        // libcurl keeps the list's pointer until the next reset; nothing reads it after the call.
        curl_easy_setopt(handle, CURLOPT_QUOTE, nullptr);
        curl_slist_free_all(commands);
        return code;
    }

    // libcurl's words for the failure, and the server's refusal when there was one.
    std::string ErrorText(CURLcode code) const
    {
        std::string text = DetailText();
        if (text.empty()) {
            text = curl_easy_strerror(code);
        }
        if (!lastReply.empty() && (lastReply.front() == '4' || lastReply.front() == '5')) {
            text += " : " + lastReply;
        }
        return text;
    }
    // Empty when libcurl gave no words of its own. libcurl 7.88 notes a
    // failed address conversion on every active-mode data connection, which
    // is harmless but would stand in the place of the real failure.
    std::string DetailText() const
    {
        const std::string text = errorText;
        return text.rfind("sa_addr inet_ntop()", 0) == 0 ? std::string() : text;
    }

private:
    // A leading "%2F" makes the path absolute, whatever directory the server
    // considers the login's home.
    std::string Url(const std::string& path) const
    {
        if (path.empty() || path == "/") {
            return serverUrl + "/";
        }
        std::string url = serverUrl + "/%2F";
        size_t start = 1;
        while (start <= path.size()) {
            const size_t slash = std::min(path.find('/', start), path.size());
            const std::string segment = path.substr(start, slash - start);
            char* escaped = curl_easy_escape(handle, segment.c_str(), static_cast<int>(segment.size()));
            if (escaped != nullptr) {
                url += escaped;
                curl_free(escaped);
            }
            if (slash < path.size()) {
                url += '/';
            }
            start = slash + 1;
        }
        return url;
    }

    // Every answer line of the server comes here; the last one is kept.
    static size_t KeepReply(char* data, size_t size, size_t count, void* user)
    {
        auto& reply = *static_cast<std::string*>(user);
        const size_t length = size * count;
        reply.assign(data, std::min(length, kMaxReplyLength));
        while (!reply.empty() && (reply.back() == '\n' || reply.back() == '\r')) {
            reply.pop_back();
        }
        return length;
    }

    CURL* handle;
    std::string serverUrl;
    std::string lastReply;
    std::string agent;
    FtpTimeLimits limits;
    char errorText[CURL_ERROR_SIZE] = {};
};

MemoryCardFtp::MemoryCardFtp(MemoryCardOwner* cardOwner, const std::string& address, FtpTimeLimits limits)
    : MemoryCard(cardOwner)
{
    Log("FTP接続開始");
    InitializeCurlOnce();

    const InternetSession* session = owner != nullptr ? owner->GetInternetSession() : nullptr;
    std::string serverUrl;
    CURL* handle = nullptr;
    if (session == nullptr || !session->IsOpen() || !ServerUrl(address, serverUrl) ||
        (handle = curl_easy_init()) == nullptr) {
        Log(kConnectFailed);
        Log(kConnectUnexplained);
        return;
    }

    auto opened = std::make_unique<Connection>(handle, serverUrl, session->Agent(), limits);
    Connection::Request login;
    login.noBody = true;
    const CURLcode code = opened->Perform(login);
    if (code != CURLE_OK) {
        Log(kConnectFailed);
        const std::string detail = opened->DetailText().substr(0, kMaxConnectErrorLength);
        Log(detail.empty() ? std::string(kConnectUnexplained) : detail);
        LogTimeout(code, "MemoryCardFtp", address);
        return;
    }
    connection = std::move(opened);
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
    ListingSink sink;
    CURLcode code = CURLE_COULDNT_CONNECT;
    std::string failure;
    if (connection != nullptr) {
        Connection::Request request;
        request.path = directoryPath;
        request.write = CollectListing;
        request.writeData = &sink;
        code = connection->Perform(request);
        failure = connection->ErrorText(code);
    } else {
        failure = curl_easy_strerror(code);
    }
    if (IsSpeedLimited()) {
        std::this_thread::sleep_for(kListingRest);
    }
    if (code != CURLE_OK) {
        Log(failureMessage);
        Log(failure);
        LogTimeout(code, operation, directoryPath);
        return false;
    }
    lines = SplitLines(sink.text);
    return true;
}

void MemoryCardFtp::EnumerateMemoryCard()
{
    Connection::Request enter;
    enter.path = "/mc/";
    enter.noBody = true;
    connection->Perform(enter);

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
    CURLcode code = CURLE_COULDNT_CONNECT;
    std::string failure = curl_easy_strerror(code);
    if (!directory.empty() && !IsPlainName(directory)) {
        code = CURLE_URL_MALFORMAT;
        failure = std::make_error_code(std::errc::invalid_argument).message();
    } else if (connection != nullptr) {
        // A directory URL with no body asked for is a CWD and nothing more; a
        // directory that does not exist fails it.
        Connection::Request request;
        request.path = DirectoryPath(directory);
        request.noBody = true;
        code = connection->Perform(request);
        failure = connection->ErrorText(code);
    }
    if (code == CURLE_OK) {
        currentDirectory = directory;
        return true;
    }
    Log("FTP : カレントディレクトリの設定に失敗しました");
    Log(failure);
    LogTimeout(code, "SetCurrentDirectory", directory);
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
    CURLcode code = CURLE_COULDNT_CONNECT;
    std::string reason = curl_easy_strerror(code);
    if (!IsPlainName(name)) {
        code = CURLE_URL_MALFORMAT;
        reason = std::make_error_code(std::errc::invalid_argument).message();
    } else if (connection != nullptr) {
        // Absolute paths: the commands go out before any CWD of the request.
        Connection::Request request;
        request.path = DirectoryPath(currentDirectory);
        request.noBody = true;
        request.commands.push_back(verb + " " + PathInCurrentDirectory(name));
        code = connection->Perform(request);
        reason = connection->ErrorText(code);
    }
    if (code == CURLE_OK) {
        return true;
    }
    Log(failure + name);
    Log(reason);
    LogTimeout(code, operation, name);
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
    if (!IsPlainName(name)) {
        return localFailure(std::make_error_code(std::errc::invalid_argument));
    }
    // A link inside a PC save is not followed: it could name any file the
    // user can read. Nor is a pipe waited on.
    FileDescriptor local;
    struct stat status {};
    if (const std::error_code error = OpenRegularFile(name, local, &status)) {
        LogRefusedKind(error, "MemoryCardFtp::Put() " + name);
        return localFailure(error);
    }
    ::posix_fadvise(local.get(), 0, 0, POSIX_FADV_SEQUENTIAL);

    UploadSource source{local.get(), limited, owner, &pieceObserver, 0, 0, {}};
    CURLcode code = CURLE_COULDNT_CONNECT;
    std::string reason = curl_easy_strerror(code);
    if (connection != nullptr) {
        Connection::Request request;
        request.path = PathInCurrentDirectory(name);
        request.read = ReadUpload;
        request.readData = &source;
        code = connection->Perform(request);
        reason = connection->ErrorText(code);
    }
    if (code == CURLE_OK) {
        return true;
    }
    Log(failure + name);
    if (source.error) {
        LogError(source.error);
    } else {
        Log(reason);
    }
    LogTimeout(code, "Put", name);
    // Once data went out the server has created (or emptied) the file; a
    // half-written save must not stay on the card looking whole.
    if (source.handed > 0 && connection != nullptr) {
        Connection::Request cleanup;
        cleanup.path = DirectoryPath(currentDirectory);
        cleanup.noBody = true;
        cleanup.commands.push_back("DELE " + PathInCurrentDirectory(name));
        connection->Perform(cleanup);
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
    const auto exists = [&name] {
        struct stat status {};
        return ::lstat(name.c_str(), &status) == 0;
    };
    if (!IsPlainName(name)) {
        return fail(std::make_error_code(std::errc::invalid_argument).message());
    }
    if (exists()) {
        return fail(std::make_error_code(std::errc::file_exists).message());
    }
    if (connection == nullptr) {
        return fail(curl_easy_strerror(CURLE_COULDNT_CONNECT));
    }

    // The data lands under a temporary name and takes the real one only when
    // complete: a broken transfer leaves no truncated file behind.
    PendingFile file(name);
    if (const std::error_code error = file.Create()) {
        return fail(error.message());
    }
    // The size this directory's last listing gave; a name it did not hold
    // (or a directory not listed) gets the cap for files of no known size.
    DownloadSink sink{&file, &pieceObserver, kUnlistedDownloadLimit, 0, false, {}};
    if (const auto listed = listedSizes.find(name);
        listedDirectory == DirectoryPath(currentDirectory) && listed != listedSizes.end()) {
        sink.limit = listed->second;
    }
    Connection::Request request;
    request.path = PathInCurrentDirectory(name);
    request.write = WriteDownload;
    request.writeData = &sink;
    const CURLcode code = connection->Perform(request);
    if (sink.oversize) {
        // A server sending more than the file holds is not trusted for any of it.
        Log("エラー : 一覧の大きさを超えたためダウンロードを中止しました MemoryCardFtp::Get() " + name);
        return fail(std::make_error_code(std::errc::file_too_large).message());
    }
    if (code != CURLE_OK) {
        fail(sink.error ? sink.error.message() : connection->ErrorText(code));
        LogTimeout(code, "Get", name);
        return false;
    }
    // No flush to disk here: the rename already keeps a broken transfer from
    // leaving half a file, and a flush per file halved the copy rate.
    // The file may have appeared while the data came in; it is not replaced.
    if (exists()) {
        return fail(std::make_error_code(std::errc::file_exists).message());
    }
    if (const std::error_code error = file.Commit()) {
        return fail(error.message());
    }
    return true;
}
