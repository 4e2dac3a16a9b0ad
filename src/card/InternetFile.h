#pragma once
// One HTTP GET whose body is read as converted text lines or raw blocks.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

class InternetSession;
class NKFWrapper;

class InternetFile {
public:
    static constexpr size_t kBlockSize = 262144;

    InternetFile(InternetSession* session, const std::string& url);
    InternetFile(const InternetFile&) = delete;
    InternetFile& operator=(const InternetFile&) = delete;
    // Reads and drops the rest of the body first.
    virtual ~InternetFile();

    // One line of the body without CR and LF, converted; false at the end.
    bool ReadString(std::string& line);
    // Up to kBlockSize bytes of the body; 0 at the end.
    size_t Read(uint8_t* buffer);

    // The server answered 200.
    bool ok = false;

private:
    struct Transfer;
    std::unique_ptr<Transfer> request;
    std::unique_ptr<NKFWrapper> converter;
};
