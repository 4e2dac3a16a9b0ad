#include "card/FtpConnection.h"

#include <curl/curl.h>

#include <algorithm>
#include <string_view>
#include <utility>

#include "card/CurlGlobal.h"

namespace {

static_assert(CURL_ERROR_SIZE <= 256, "the error buffer holds libcurl's longest text");

constexpr size_t kMaxListingBytes = 1 << 20;
constexpr size_t kMaxReplyLength = 512;

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

size_t DiscardData(char*, size_t size, size_t count, void*) { return size * count; }

size_t CollectListing(char* data, size_t size, size_t count, void* user)
{
    auto& text = *static_cast<std::string*>(user);
    const size_t length = size * count;
    if (text.size() + length > kMaxListingBytes) {
        return 0;
    }
    text.append(data, length);
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

size_t ReadUpload(char* buffer, size_t size, size_t count, void* user)
{
    const auto& read = *static_cast<const std::function<ssize_t(char*, size_t)>*>(user);
    const ssize_t got = read(buffer, size * count);
    return got < 0 ? CURL_READFUNC_ABORT : static_cast<size_t>(got);
}

size_t WriteDownload(char* data, size_t size, size_t count, void* user)
{
    const auto& write = *static_cast<const std::function<bool(const char*, size_t)>*>(user);
    const size_t length = size * count;
    return write(data, length) ? length : 0;
}

// Every answer line of the server comes here; the last one is kept.
size_t KeepReply(char* data, size_t size, size_t count, void* user)
{
    auto& reply = *static_cast<std::string*>(user);
    const size_t length = size * count;
    reply.assign(data, std::min(length, kMaxReplyLength));
    while (!reply.empty() && (reply.back() == '\n' || reply.back() == '\r')) {
        reply.pop_back();
    }
    return length;
}

}  // namespace

struct FtpConnection::Request {
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

std::unique_ptr<FtpConnection> FtpConnection::Open(const std::string& address, const std::string& agent,
                                                   FtpTimeLimits limits, FtpResult& failure)
{
    failure = FtpResult();
    std::string serverUrl;
    CURL* handle = nullptr;
    if (!CurlGlobalInit() || !ServerUrl(address, serverUrl) || (handle = curl_easy_init()) == nullptr) {
        return nullptr;
    }
    std::unique_ptr<FtpConnection> opened(new FtpConnection(handle, serverUrl, agent, limits));
    Request login;
    login.noBody = true;
    const FtpResult result = opened->Perform(login);
    if (!result.ok) {
        failure.timedOut = result.timedOut;
        failure.error = opened->DetailText();
        return nullptr;
    }
    return opened;
}

FtpResult FtpConnection::NotConnected() { return FtpResult{false, false, curl_easy_strerror(CURLE_COULDNT_CONNECT)}; }

FtpConnection::FtpConnection(void* easy, std::string server, std::string agentName, FtpTimeLimits timeLimits)
    : handle(easy), serverUrl(std::move(server)), agent(std::move(agentName)), limits(timeLimits)
{
}

FtpConnection::~FtpConnection()
{
    curl_easy_setopt(handle, CURLOPT_SERVER_RESPONSE_TIMEOUT, static_cast<long>(limits.connect.count()));
    curl_easy_cleanup(handle);
}

FtpResult FtpConnection::Enter(const std::string& directory)
{
    // A directory URL with no body asked for is a CWD and nothing more.
    Request request;
    request.path = directory;
    request.noBody = true;
    return Perform(request);
}

// Absolute paths: the commands go out before any CWD of the request.
FtpResult FtpConnection::Command(const std::string& directory, const std::string& command)
{
    Request request;
    request.path = directory;
    request.noBody = true;
    request.commands.push_back(command);
    return Perform(request);
}

FtpResult FtpConnection::List(const std::string& directory, std::vector<std::string>& lines)
{
    std::string text;
    Request request;
    request.path = directory;
    request.write = CollectListing;
    request.writeData = &text;
    const FtpResult result = Perform(request);
    if (result.ok) {
        lines = SplitLines(text);
    }
    return result;
}

FtpResult FtpConnection::Upload(const std::string& path, const std::function<ssize_t(char*, size_t)>& read)
{
    Request request;
    request.path = path;
    request.read = ReadUpload;
    request.readData = const_cast<std::function<ssize_t(char*, size_t)>*>(&read);
    return Perform(request);
}

FtpResult FtpConnection::Download(const std::string& path, const std::function<bool(const char*, size_t)>& write)
{
    Request request;
    request.path = path;
    request.write = WriteDownload;
    request.writeData = const_cast<std::function<bool(const char*, size_t)>*>(&write);
    return Perform(request);
}

FtpResult FtpConnection::Perform(const Request& request)
{
    errorText[0] = '\0';
    lastReply.clear();
    const auto unsafe = [](const std::string& text) {
        return text.find_first_of(std::string_view("\0\r\n", 3)) != std::string::npos;
    };
    CURLcode code = CURLE_URL_MALFORMAT;
    if (!unsafe(request.path) && std::none_of(request.commands.begin(), request.commands.end(), unsafe)) {
        curl_easy_reset(handle);
        const std::string url = Url(request.path);
        curl_slist* commands = nullptr;
        for (const std::string& command : request.commands) {
            commands = curl_slist_append(commands, command.c_str());
        }
        curl_easy_setopt(handle, CURLOPT_URL, url.c_str());
        curl_easy_setopt(handle, CURLOPT_PROTOCOLS_STR, "ftp");
        curl_easy_setopt(handle, CURLOPT_ERRORBUFFER, errorText.data());
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
        code = curl_easy_perform(handle);
        // libcurl keeps the list's pointer until the next reset; nothing reads it after the call.
        curl_easy_setopt(handle, CURLOPT_QUOTE, nullptr);
        curl_slist_free_all(commands);
    }
    if (code == CURLE_OK) {
        return FtpResult{true, false, std::string()};
    }
    std::string text = DetailText();
    if (text.empty()) {
        text = curl_easy_strerror(code);
    }
    if (!lastReply.empty() && (lastReply.front() == '4' || lastReply.front() == '5')) {
        text += " : " + lastReply;
    }
    return FtpResult{false, IsTimeout(code), text};
}

// libcurl 7.88 notes a failed address conversion on every active-mode data
// connection, which is harmless but would stand in the place of the real failure.
std::string FtpConnection::DetailText() const
{
    const std::string text = errorText.data();
    return text.rfind("sa_addr inet_ntop()", 0) == 0 ? std::string() : text;
}

// A leading "%2F" makes the path absolute, whatever directory the server
// considers the login's home.
std::string FtpConnection::Url(const std::string& path) const
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
