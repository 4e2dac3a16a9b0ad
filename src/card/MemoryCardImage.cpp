#include "card/MemoryCardImage.h"

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "common/DriveType.h"
#include "common/FileRead.h"
#include "common/FileStatus.h"
#include "common/Log.h"
#include "common/PcFileMoves.h"
#include "common/PendingFile.h"
#include "common/TextCodec.h"
#include "save/SaveFileBase.h"

namespace {

bool SameTime(const struct timespec& a, const struct timespec& b) { return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec; }

}  // namespace

bool MemoryCardImage::Identity::operator==(const Identity& other) const
{
    return device == other.device && inode == other.inode && size == other.size &&
           SameTime(modified, other.modified) && SameTime(changed, other.changed);
}

MemoryCardImage::MemoryCardImage(MemoryCardOwner* cardOwner, const std::string& imagePath, const char* name)
    : MemoryCard(cardOwner), path(imagePath), className(name)
{
    // Writes go beside the file itself, not beside a link to it.
    std::error_code error;
    const std::filesystem::path real = std::filesystem::canonical(imagePath, error);
    if (!error) {
        path = real.string();
    }
}

void MemoryCardImage::Connect()
{
    if (path.empty() || path.front() != '/') {
        LogFailure("エラー : メモリーカードイメージのパスが絶対パスではありません", "Connect", path, std::string());
        return;
    }
    // The folder holding the image passes the check a folder card passes; a
    // folder or a file the user accepted as a card by name passes too.
    const std::string folder = std::filesystem::path(path).parent_path().string();
    if (!IsRemovableDrive(folder + "/") && !IsRemovableDrive(folder) && !IsRemovableDrive(path)) {
        LogFailure("エラー : メモリーカードイメージがリムーバブルドライブ上にありません", "Connect", path, std::string());
        return;
    }
    if (Refresh("Connect")) {
        connected = true;
        slotMask = 1;
    }
}

bool MemoryCardImage::IdentityOf(const std::string& file, Identity& identity)
{
    struct stat status {};
    if (::stat(file.c_str(), &status) != 0) {
        return false;
    }
    identity = Identity{status.st_dev, status.st_ino, status.st_size, status.st_mtim, status.st_ctim};
    return true;
}

bool MemoryCardImage::Refresh(const char* operation)
{
    Identity now;
    if (!IdentityOf(path, now)) {
        LogFailure("エラー : メモリーカードイメージが見つかりません", operation, path, std::string());
        loaded = false;
        return false;
    }
    if (loaded && now == identity) {
        return true;
    }
    loaded = false;
    std::vector<uint8_t> bytes;
    // No image of any card comes near the largest save a card may hold.
    if (const std::error_code error = ReadWholeFile(path, bytes, SaveFileBase::kLargestSave)) {
        LogFailure("エラー : メモリーカードイメージを読めませんでした", operation, path, error.message());
        return false;
    }
    std::string why;
    if (!Parse(std::move(bytes), why)) {
        LogFailure("エラー : メモリーカードイメージとして使えません", operation, path, why);
        return false;
    }
    identity = now;
    loaded = true;
    return true;
}

bool MemoryCardImage::Replace(std::span<const uint8_t> bytes, const char* operation)
{
    // The rename would replace a file its owner made read-only: that is refused as the file itself refuses it.
    if (::access(path.c_str(), W_OK) != 0) {
        LogFailure("エラー : メモリーカードイメージに書き込めません(読み取り専用です)", operation, path, std::string());
        return false;
    }
    PendingFile out(path);
    std::error_code error = out.Create();
    if (!error) {
        // The new image keeps the old one's permissions.
        struct stat status {};
        if (::stat(path.c_str(), &status) == 0) {
            static_cast<void>(::fchmod(out.Descriptor(), status.st_mode & 07777));
        }
        error = out.Write(bytes.data(), bytes.size());
    }
    error = error ? error : out.Sync();
    // Another program that wrote the image since it was read would lose its change.
    Identity now;
    if (!error && (!IdentityOf(path, now) || !(now == identity))) {
        error = std::make_error_code(std::errc::device_or_resource_busy);
        LogFailure("エラー : メモリーカードイメージが他のプログラムに変更されたため書き込みませんでした", operation, path,
                   std::string());
    }
    error = error ? error : out.Commit();
    if (error) {
        LogFailure("エラー : メモリーカードイメージを書き込めませんでした。元のイメージはそのままです", operation, path,
                   error.message());
        loaded = false;
        return false;
    }
    loaded = IdentityOf(path, identity);
    return true;
}

bool MemoryCardImage::ReadPcFile(const std::string& name, uint64_t limit, const char* operation, PcFile& file) const
{
    std::string source;
    if (WorkingFolderFile(name, source)) {
        return false;
    }
    FileDescriptor in;
    struct stat status {};
    if (OpenToCopy(source, in, status, std::string(className) + "::" + operation + "() " + name)) {
        return false;
    }
    if (static_cast<uint64_t>(status.st_size) > limit) {
        LogFailure("エラー : メモリーカードに入らない大きさです", operation, name, std::to_string(status.st_size) + " bytes");
        return false;
    }
    if (const std::error_code error = ReadWholeFile(in, file.bytes, limit)) {
        LogFailure("エラー : ファイルを読めませんでした", operation, name, error.message());
        return false;
    }
    file.modified = static_cast<int64_t>(status.st_mtim.tv_sec);
    const std::optional<FileTimes> times = ReadFileTimes(source);
    file.created = times && times->creation ? *times->creation : file.modified;
    return true;
}

// modified 0: the card keeps no time, and the file gets the time of the copy.
bool MemoryCardImage::WritePcFile(const std::string& name, std::span<const uint8_t> bytes, int64_t modified,
                                  const char* operation) const
{
    std::string target;
    if (WorkingFolderFile(name, target)) {
        return false;
    }
    // The card's time goes with the file.
    if (const std::error_code error = WriteReplacing(target, bytes, modified)) {
        LogFailure("エラー : PCにファイルを書き込めませんでした", operation, name, error.message());
        return false;
    }
    return true;
}

void MemoryCardImage::LogFailure(const std::string& message, const char* operation, const std::string& name,
                                 const std::string& why) const
{
    Log(message + " " + className + "::" + operation + "() " + DisplayName(name) + (why.empty() ? "" : " : " + why));
}
