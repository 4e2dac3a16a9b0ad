#include "card/InternetSession.h"

#include <curl/curl.h>

#include <mutex>

#include "common/Log.h"

namespace {

// libcurl's global set-up is not thread-safe and belongs to the whole process:
// done once, by whichever session comes first, and kept until the end.
bool GlobalInit()
{
    static std::once_flag once;
    static bool done = false;
    std::call_once(once, [] { done = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK; });
    return done;
}

}  // namespace

InternetSession::InternetSession(const std::string& agentName) : agent(agentName)
{
    open = GlobalInit();
    if (!open) {
        Log("InternetSession::InternetSession() : インターネットセッションの作成に失敗しました");
    }
}

InternetSession::~InternetSession() = default;
