#include "card/InternetSession.h"

#include "card/CurlGlobal.h"
#include "common/Log.h"

InternetSession::InternetSession(const std::string& agentName) : agent(agentName)
{
    open = CurlGlobalInit();
    if (!open) {
        Log("InternetSession::InternetSession() : インターネットセッションの作成に失敗しました");
    }
}

InternetSession::~InternetSession() = default;
