#include "common/StagingLock.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <string>
#include <mutex>
#include <thread>

#include <boost/format.hpp>

#include "common/Log.h"
#include "common/ProgramDirectory.h"

namespace {

constexpr auto kPollPeriod = std::chrono::milliseconds(50);

struct Holder {
    std::mutex mutex;
    int depth = 0;
    int file = -1;
};

Holder& TheHolder()
{
    static Holder holder;
    return holder;
}

// What the process holding the lock calls itself, for the message.
std::string ProcessName(pid_t pid)
{
    std::ifstream comm("/proc/" + std::to_string(pid) + "/comm");
    std::string name;
    return std::getline(comm, name) ? name : std::string("?");
}

void LogHolder(int file, const std::string& path)
{
    struct flock query {};
    query.l_type = F_WRLCK;
    query.l_whence = SEEK_SET;
    pid_t pid = 0;
    if (::fcntl(file, F_GETLK, &query) == 0 && query.l_type != F_UNLCK) {
        pid = query.l_pid;
    }
    Log((boost::format("エラー : 別のプロセス (pid %1% %2%) がプログラムフォルダを使用中のため待ちきれませんでした %3%") %
         pid % (pid > 0 ? ProcessName(pid) : std::string("?")) % path)
            .str());
}

}  // namespace

StagingLock::StagingLock(std::chrono::milliseconds wait)
{
    Holder& holder = TheHolder();
    const std::lock_guard guard(holder.mutex);
    if (holder.depth > 0) {
        ++holder.depth;
        held = true;
        return;
    }
    const std::string path = ProgramDirectory() + "staging.lock";
    const int file = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0666);
    if (file >= 0) {
        struct flock request {};
        request.l_type = F_WRLCK;
        request.l_whence = SEEK_SET;
        const auto deadline = std::chrono::steady_clock::now() + wait;
        while (::fcntl(file, F_SETLK, &request) != 0) {
            if (errno != EACCES && errno != EAGAIN && errno != EINTR) {
                break;  // a file system without record locks: staging goes on unguarded
            }
            if (std::chrono::steady_clock::now() >= deadline) {
                LogHolder(file, path);
                ::close(file);
                return;
            }
            std::this_thread::sleep_for(kPollPeriod);
        }
    }
    holder.file = file;
    holder.depth = 1;
    held = true;
}

StagingLock::~StagingLock()
{
    if (!held) {
        return;
    }
    Holder& holder = TheHolder();
    const std::lock_guard guard(holder.mutex);
    if (--holder.depth == 0 && holder.file >= 0) {
        ::close(holder.file);  // releases the lock
        holder.file = -1;
    }
}
