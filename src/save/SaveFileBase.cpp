#include "save/SaveFileBase.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <ctime>
#include <utility>

#include "common/TextCodec.h"

namespace {

std::error_code LastError() { return std::error_code(errno, std::generic_category()); }

// Second bytes of CP932 double-byte characters.
bool IsSjisTrailByte(unsigned char byte) { return byte >= 0x40 && byte <= 0xFC && byte != 0x7F; }

std::string DirectoryOf(const std::string& path)
{
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? std::string("/") : path.substr(0, slash);
}

}  // namespace

int SaveFileBase::FileOrderKey(int64_t creationTime)
{
    const std::time_t time = static_cast<std::time_t>(creationTime);
    std::tm local{};
    if (localtime_r(&time, &local) == nullptr) {
        return -1;
    }
    return local.tm_sec;
}

// The key of every record is worked out once: it needs a local-time
// conversion, too slow to repeat in every comparison of a long list.
void SaveFileBase::SortByFileOrder(FileList& files)
{
    std::vector<std::pair<int, std::shared_ptr<FILE_DATA>>> keyed;
    keyed.reserve(files.size());
    for (auto& file : files) {
        keyed.emplace_back(FileOrderKey(file->creationTime), std::move(file));
    }
    std::stable_sort(keyed.begin(), keyed.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    for (size_t i = 0; i < keyed.size(); ++i) {
        files[i] = std::move(keyed[i].second);
    }
}

// Names are Shift-JIS bytes: a 0x5C after a lead byte belongs to a character
// such as ソ and becomes no separator once the name is decoded.
bool SaveFileBase::IsSafeName(const std::string& name)
{
    if (name.empty() || name == "." || name == "..") {
        return false;
    }
    for (size_t i = 0; i < name.size(); ++i) {
        const auto byte = static_cast<unsigned char>(name[i]);
        if (byte == '\0' || byte == '/' || byte == '\\') {
            return false;
        }
        if (IsSjisLeadByte(byte) && i + 1 < name.size() && IsSjisTrailByte(static_cast<unsigned char>(name[i + 1]))) {
            ++i;
        }
    }
    return true;
}

SaveFileBase::PendingFile::PendingFile(std::string targetPath) : target(std::move(targetPath)) {}

SaveFileBase::PendingFile::~PendingFile()
{
    if (descriptor >= 0) {
        ::close(descriptor);
    }
    if (!committed && !temporary.empty()) {
        ::unlink(temporary.c_str());
    }
}

// A short hidden name of its own beside the target: the rename stays on one
// file system, and a long target name cannot make it too long.
std::error_code SaveFileBase::PendingFile::Create()
{
    static std::atomic<unsigned> counter{0};
    const std::string directory = DirectoryOf(target);
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string candidate = directory + "/.tansu-" + std::to_string(::getpid()) + "-" +
                                      std::to_string(counter++) + ".tmp";
        descriptor = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (descriptor >= 0) {
            temporary = candidate;
            return {};
        }
        if (errno != EEXIST) {
            return LastError();
        }
    }
    return std::make_error_code(std::errc::file_exists);
}

std::error_code SaveFileBase::PendingFile::Write(const uint8_t* bytes, size_t length)
{
    while (length > 0) {
        const ssize_t written = ::write(descriptor, bytes, length);
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return LastError();
        }
        bytes += written;
        length -= static_cast<size_t>(written);
    }
    return {};
}

std::error_code SaveFileBase::PendingFile::Close()
{
    const int closing = std::exchange(descriptor, -1);
    if (closing >= 0 && ::close(closing) != 0) {
        return LastError();
    }
    return {};
}

std::error_code SaveFileBase::PendingFile::Commit()
{
    if (std::error_code error = Close()) {
        return error;
    }
    if (::rename(temporary.c_str(), target.c_str()) != 0) {
        return LastError();
    }
    committed = true;
    return {};
}

std::error_code SaveFileBase::ReadWholeFile(const std::string& path, std::vector<uint8_t>& bytes)
{
    bytes.clear();
    // O_NONBLOCK: opening a named pipe must not wait for a writer that never comes.
    const int descriptor = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (descriptor < 0) {
        return LastError();
    }
    std::error_code error;
    struct stat status {};
    if (::fstat(descriptor, &status) != 0) {
        error = LastError();
    } else if (!S_ISREG(status.st_mode)) {
        error = std::make_error_code(S_ISDIR(status.st_mode) ? std::errc::is_a_directory : std::errc::invalid_argument);
    } else {
        // The size is only a hint: the file may change while it is read.
        bytes.resize(static_cast<size_t>(std::max<off_t>(status.st_size, 0)) + 1);
        size_t filled = 0;
        for (;;) {
            if (filled == bytes.size()) {
                bytes.resize(bytes.size() * 2);
            }
            const ssize_t count = ::read(descriptor, bytes.data() + filled, bytes.size() - filled);
            if (count < 0 && errno == EINTR) {
                continue;
            }
            if (count < 0) {
                error = LastError();
                break;
            }
            if (count == 0) {
                break;
            }
            filled += static_cast<size_t>(count);
        }
        bytes.resize(error ? 0 : filled);
    }
    ::close(descriptor);
    return error;
}
