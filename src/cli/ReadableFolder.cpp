#include "cli/ReadableFolder.h"

#include <dirent.h>

#include <cerrno>
#include <system_error>

#include <boost/format.hpp>

#include "common/FileHelpers.h"
#include "common/Log.h"
#include "common/SystemError.h"

bool IsReadableFolder(const std::string& folder, const std::string& operation)
{
    if (!IsDirectory(folder)) {
        Log((boost::format("エラー : フォルダが見つかりません %1% : %2%") % operation % folder).str());
        return false;
    }
    DIR* directory = opendir(folder.c_str());
    if (directory == nullptr) {
        const int error = errno;
        Log((boost::format("エラー : フォルダを開けませんでした %1% : %2%") % operation % folder).str());
        LogError(SystemError(error));
        return false;
    }
    closedir(directory);
    return true;
}
