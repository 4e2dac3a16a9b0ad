#include "save/SaveFileBase.h"

#include <algorithm>
#include <ctime>
#include <utility>

#include "common/FileHelpers.h"
#include "common/TextCodec.h"

namespace {

// Second bytes of CP932 double-byte characters.
bool IsSjisTrailByte(unsigned char byte) { return byte >= 0x40 && byte <= 0xFC && byte != 0x7F; }

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

void SaveFileBase::StampFileOrder(FileList& files)
{
    const int64_t now = std::time(nullptr);
    const int key = FileOrderKey(now);
    const int64_t minute = now - (key < 0 ? 0 : key);
    int64_t position = 0;
    for (auto& file : files) {
        file->lastWriteTime = now;
        file->lastAccessTime = now;
        file->creationTime = minute + ++position;
    }
}

// Names are Shift-JIS bytes: a 0x5C after a lead byte belongs to a character
// such as ソ and becomes no separator once the name is decoded.
bool SaveFileBase::IsSafeName(const std::string& name)
{
    if (!IsPlainName(name)) {
        return false;
    }
    for (size_t i = 0; i < name.size(); ++i) {
        const auto byte = static_cast<unsigned char>(name[i]);
        if (byte == '\\') {
            return false;
        }
        if (IsSjisLeadByte(byte) && i + 1 < name.size() && IsSjisTrailByte(static_cast<unsigned char>(name[i + 1]))) {
            ++i;
        }
    }
    return true;
}
