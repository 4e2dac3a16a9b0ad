#pragma once
// One HTTP GET whose body is read as converted text lines or raw blocks.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

class InternetSession;
class NKFWrapper;

class InternetFile {
public:
    static constexpr size_t kBlockSize = 262144;

    // The whole body is fetched here. While *abort (when given) is raised the
    // transfer gives up, connecting included, within about a second, quietly:
    // ok stays false and Aborted() tells why.
    InternetFile(InternetSession* session, const std::string& url, const std::atomic<bool>* abort = nullptr);
    // A body already in hand, read as if fetched with this Content-Type header
    // (pages kept elsewhere, tests, fuzzing); ok is true.
    static std::unique_ptr<InternetFile> FromBody(std::string body, const std::string& contentType = {});
    InternetFile(const InternetFile&) = delete;
    InternetFile& operator=(const InternetFile&) = delete;
    // Reads and drops the rest of the body first.
    virtual ~InternetFile();

    // One line of the body without CR and LF, converted; false at the end.
    bool ReadString(std::string& line);
    // Up to kBlockSize bytes of the body; 0 at the end.
    size_t Read(uint8_t* buffer);

    bool Aborted() const { return aborted; }

    // The server answered 200.
    bool ok = false;

private:
    InternetFile() = default;
    // The lines are converted with the character set decided on the whole body.
    void MakeConverter(const std::string& contentType);

    bool aborted = false;
    struct Transfer;
    std::unique_ptr<Transfer> request;
    std::unique_ptr<NKFWrapper> converter;
};
