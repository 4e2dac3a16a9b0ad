#pragma once
// The program's one internet session: the agent name sent with every request,
// shared by the FTP backend (window thread) and the page downloads (worker
// thread). Each user makes its own libcurl handle from it.
#include <string>

class InternetSession {
public:
    explicit InternetSession(const std::string& agent);
    InternetSession(const InternetSession&) = delete;
    InternetSession& operator=(const InternetSession&) = delete;
    virtual ~InternetSession();

    // False when the session could not be made (logged).
    bool IsOpen() const { return open; }
    const std::string& Agent() const { return agent; }

private:
    std::string agent;
    bool open = false;
};
