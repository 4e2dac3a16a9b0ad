#include "control/SaveInfo.h"

#include <ctime>

#include "common/FileHelpers.h"
#include "common/FileStatus.h"

std::string FormatPaneTime(int64_t secondsSince1970)
{
    const auto seconds = static_cast<std::time_t>(secondsSince1970);
    std::tm local{};
    if (::localtime_r(&seconds, &local) == nullptr) {
        return {};
    }
    char text[64] = {};
    return std::strftime(text, sizeof text, "%Y/%m/%d %H:%M:%S", &local) > 0 ? std::string(text) : std::string();
}

std::optional<int64_t> PcSaveTime(const std::string& saveFolder)
{
    const std::optional<FileTimes> times = ReadFileTimes(JoinPath(saveFolder, "icon.sys"));
    if (!times) {
        return std::nullopt;
    }
    // Linux keeps no creation time of its own: a file we did not write may have none.
    return times->creation.value_or(times->lastWrite);
}

std::string SaveInfoText(const std::string& title, const std::string& name, const std::string& time)
{
    return title + "\r\n" + name + "\r\n" + time;
}
