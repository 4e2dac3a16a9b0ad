#include "cli/ProgramDirectoryLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

#include "common/ProgramDirectory.h"

ProgramDirectoryLock::ProgramDirectoryLock()
{
    descriptor = open(ProgramDirectory().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (descriptor < 0) {
        return;
    }
    int result = 0;
    do {
        result = flock(descriptor, LOCK_EX);
    } while (result != 0 && errno == EINTR);
}

ProgramDirectoryLock::~ProgramDirectoryLock()
{
    if (descriptor >= 0) {
        close(descriptor);  // releases the lock
    }
}
