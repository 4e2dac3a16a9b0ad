#include "card/InternetFile.h"

#include <curl/curl.h>

#include <algorithm>
#include <cstring>
#include <iterator>
#include <string_view>

#include "card/InternetSession.h"
#include "common/Log.h"
#include "common/NKFWrapper.h"

namespace {

// Nothing may hang the worker or the shut-down: a server that does not answer
// within seconds, or sends less than a byte a second for a minute, is given up.
constexpr long kConnectTimeoutSeconds = 10;
constexpr long kLowSpeedBytesPerSecond = 1;
constexpr long kLowSpeedSeconds = 60;
// A catalogue page is a few dozen KB; anything past this is no page of ours.
constexpr size_t kMaxBodySize = 64 * 1024 * 1024;
constexpr long kMaxRedirects = 10;
constexpr size_t kErrorTextLimit = 1022;

struct EasyCloser {
    void operator()(CURL* easy) const { curl_easy_cleanup(easy); }
};
struct UrlCloser {
    void operator()(CURLU* url) const { curl_url_cleanup(url); }
};

// Called by libcurl about once a second at the least, while it connects too.
int AbortCheck(void* user, curl_off_t /*downloadTotal*/, curl_off_t /*downloaded*/, curl_off_t /*uploadTotal*/,
               curl_off_t /*uploaded*/)
{
    return static_cast<const std::atomic<bool>*>(user)->load() ? 1 : 0;
}

void LogCaught(const std::string& where, const std::string& errorText)
{
    Log(where + " : インターネット接続例外キャッチ");
    Log(errorText.substr(0, kErrorTextLimit));
}

}  // namespace

// The whole body is fetched by the constructor, within the limits above, and
// lines and blocks are served from memory: the caller reads every page to its
// end anyway, and no connection stays open between calls.
struct InternetFile::Transfer {
    std::string body;
    size_t position = 0;
    bool tooLarge = false;

    static size_t Append(char* data, size_t size, size_t count, void* user)
    {
        auto* self = static_cast<Transfer*>(user);
        const size_t bytes = size * count;
        if (bytes > kMaxBodySize - self->body.size()) {
            self->tooLarge = true;
            return 0;  // anything short of what was offered ends the transfer
        }
        self->body.append(data, bytes);
        return bytes;
    }
};

InternetFile::InternetFile(InternetSession* session, const std::string& url, const std::atomic<bool>* abort)
{
    // No scheme is guessed: "www.example.com/page" does not split.
    const std::unique_ptr<CURLU, UrlCloser> parts(curl_url());
    if (!parts || curl_url_set(parts.get(), CURLUPART_URL, url.c_str(), 0) != CURLUE_OK) {
        Log("InternetFile::InternetFile() : URLパースエラー : " + url);
        return;
    }
    request = std::make_unique<Transfer>();

    char errorText[CURL_ERROR_SIZE] = {};
    CURLcode result = CURLE_FAILED_INIT;
    long status = 0;
    std::string contentType;
    const std::unique_ptr<CURL, EasyCloser> easy(session != nullptr && session->IsOpen() ? curl_easy_init()
                                                                                         : nullptr);
    if (abort != nullptr && abort->load()) {
        result = CURLE_ABORTED_BY_CALLBACK;
    } else if (easy) {
        CURL* handle = easy.get();
        curl_easy_setopt(handle, CURLOPT_CURLU, parts.get());
        curl_easy_setopt(handle, CURLOPT_HTTPGET, 1L);
        curl_easy_setopt(handle, CURLOPT_USERAGENT, session->Agent().c_str());
        // Only web pages, also after a redirect: never a local file or another protocol.
        curl_easy_setopt(handle, CURLOPT_PROTOCOLS_STR, "http,https");
        curl_easy_setopt(handle, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
        curl_easy_setopt(handle, CURLOPT_FOLLOWLOCATION, 1L);
        curl_easy_setopt(handle, CURLOPT_MAXREDIRS, kMaxRedirects);
        // Several threads download at once: no signals for name look-up time-outs.
        curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT, kConnectTimeoutSeconds);
        curl_easy_setopt(handle, CURLOPT_LOW_SPEED_LIMIT, kLowSpeedBytesPerSecond);
        curl_easy_setopt(handle, CURLOPT_LOW_SPEED_TIME, kLowSpeedSeconds);
        curl_easy_setopt(handle, CURLOPT_BUFFERSIZE, static_cast<long>(kBlockSize));
        curl_easy_setopt(handle, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(kMaxBodySize));
        curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, &Transfer::Append);
        curl_easy_setopt(handle, CURLOPT_WRITEDATA, request.get());
        curl_easy_setopt(handle, CURLOPT_ERRORBUFFER, errorText);
        if (abort != nullptr) {
            curl_easy_setopt(handle, CURLOPT_NOPROGRESS, 0L);
            curl_easy_setopt(handle, CURLOPT_XFERINFOFUNCTION, &AbortCheck);
            curl_easy_setopt(handle, CURLOPT_XFERINFODATA, const_cast<std::atomic<bool>*>(abort));
        }
        result = curl_easy_perform(handle);
        curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &status);
        const char* type = nullptr;
        if (curl_easy_getinfo(handle, CURLINFO_CONTENT_TYPE, &type) == CURLE_OK && type != nullptr) {
            contentType = type;
        }
    } else {
        std::strcpy(errorText, "インターネットセッションがありません");
    }

    aborted = result == CURLE_ABORTED_BY_CALLBACK;
    if (result == CURLE_OK) {
        ok = status == 200;
    } else if (aborted) {
        request->body.clear();  // asked for: no error to report
    } else {
        LogCaught("InternetFile::InternetFile()", errorText[0] != '\0' ? errorText : curl_easy_strerror(result));
        if (result == CURLE_OPERATION_TIMEDOUT) {
            Log("エラー : 時間切れです InternetFile::InternetFile() " + url);
        } else if (request->tooLarge || result == CURLE_FILESIZE_EXCEEDED) {
            Log("エラー : ページが大きすぎます InternetFile::InternetFile() " + url);
        }
        // Part of a body is no page: nothing is served from it.
        request->body.clear();
        request->body.shrink_to_fit();
    }
    MakeConverter(contentType);
}

std::unique_ptr<InternetFile> InternetFile::FromBody(std::string body, const std::string& contentType)
{
    std::unique_ptr<InternetFile> file(new InternetFile());
    file->request = std::make_unique<Transfer>();
    file->request->body = std::move(body);
    file->ok = true;
    file->MakeConverter(contentType);
    return file;
}

void InternetFile::MakeConverter(const std::string& contentType)
{
    converter = std::make_unique<NKFWrapper>();
    converter->SetOption("--windows");
    // Decided once on all the bytes: one line alone is too little to tell.
    const std::string_view body = request ? std::string_view(request->body) : std::string_view();
    converter->UseCharset(NKFWrapper::DecideCharset(body, contentType));
}

// The constructor already took the whole body off the connection: nothing is left to drain.
InternetFile::~InternetFile() = default;

bool InternetFile::ReadString(std::string& line)
{
    if (!request || request->position >= request->body.size()) {
        return false;
    }
    const std::string& body = request->body;
    const size_t feed = body.find('\n', request->position);
    const size_t end = feed == std::string::npos ? body.size() : feed;
    line.clear();
    std::copy_if(body.begin() + static_cast<std::ptrdiff_t>(request->position),
                 body.begin() + static_cast<std::ptrdiff_t>(end), std::back_inserter(line),
                 [](char c) { return c != '\r'; });
    request->position = feed == std::string::npos ? body.size() : feed + 1;
    converter->Convert(line);
    return true;
}

size_t InternetFile::Read(uint8_t* buffer)
{
    if (!request) {
        return 0;
    }
    const size_t count = std::min(kBlockSize, request->body.size() - request->position);
    if (count > 0) {
        std::memcpy(buffer, request->body.data() + request->position, count);
        request->position += count;
    }
    return count;
}
