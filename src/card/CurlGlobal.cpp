#include "card/CurlGlobal.h"

#include <curl/curl.h>

#include <mutex>

bool CurlGlobalInit()
{
    static std::once_flag once;
    static bool done = false;
    std::call_once(once, [] { done = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK; });
    return done;
}
