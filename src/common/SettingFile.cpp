#include "common/SettingFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include <boost/lexical_cast.hpp>

#include "common/FileDescriptor.h"
#include "common/Log.h"
#include "common/PendingFile.h"
#include "common/TextCodec.h"

namespace {

// Longer lines are cut here; the rest of such a line is dropped so that the
// tail of an overlong value can never turn into a line of its own.
constexpr size_t kMaxLineLength = 65535;
// Settings, language and cache files are small; anything near this size is not one of them.
constexpr off_t kMaxFileSize = 64 * 1024 * 1024;
constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

bool ReadAll(int fd, std::string& bytes)
{
    char buffer[4096];
    for (;;) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        if (got == 0) {
            return true;
        }
        bytes.append(buffer, static_cast<size_t>(got));
        if (bytes.size() > static_cast<size_t>(kMaxFileSize)) {
            return false;
        }
    }
}

// UTF-8 with or without a byte-order mark; files from the Windows program are CP932.
std::string DecodeFile(std::string_view bytes)
{
    if (bytes.substr(0, kUtf8Bom.size()) == kUtf8Bom) {
        bytes.remove_prefix(kUtf8Bom.size());
    }
    return IsValidUtf8(bytes) ? std::string(bytes) : SjisToUtf8(bytes);
}

// A cut line must not end inside a UTF-8 sequence.
std::string_view CutLine(std::string_view line)
{
    if (line.size() <= kMaxLineLength) {
        return line;
    }
    size_t end = kMaxLineLength;
    // A sequence is at most four bytes long: step back over three continuation bytes at most.
    for (int step = 0; step < 3 && (static_cast<unsigned char>(line[end]) & 0xC0) == 0x80; ++step) {
        --end;
    }
    return line.substr(0, end);
}

}  // namespace

bool SettingFile::Load(const std::string& path)
{
    FileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    struct stat status {};
    if (file.get() < 0 || ::fstat(file.get(), &status) != 0 || S_ISDIR(status.st_mode)) {
        return false;
    }
    std::string bytes;
    if (!ReadAll(file.get(), bytes)) {
        Log("設定ファイルを読み込めませんでした : " + path);
        return false;
    }
    LoadText(DecodeFile(bytes));
    return true;
}

void SettingFile::LoadText(std::string_view text)
{
    std::string section;
    while (!text.empty()) {
        const size_t lineFeed = text.find('\n');
        std::string_view line = text.substr(0, lineFeed);
        text.remove_prefix(lineFeed == std::string_view::npos ? text.size() : lineFeed + 1);
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        line = CutLine(line);
        if (line.empty() || line.substr(0, 2) == "//") {
            continue;
        }
        if (line.front() == '[') {
            // The closing bracket is not checked: the line's last character is dropped whatever it is.
            section = std::string(line.substr(1, line.size() >= 2 ? line.size() - 2 : 0));
            // Made now, so that an empty section survives a save and a load.
            sections[section];
            continue;
        }
        const size_t equals = line.find('=');
        if (equals == std::string_view::npos) {
            // No meaning in this format: skipped.
            continue;
        }
        sections[section][std::string(line.substr(0, equals))] = std::string(line.substr(equals + 1));
    }
    sectionNames.clear();
    for (const auto& entry : sections) {
        sectionNames.push_back(entry.first);
    }
}

bool SettingFile::Save(const std::string& path) const
{
    // The old file is replaced only by a complete new one: a crash or a full
    // disk half-way leaves the previous settings in place.
    PendingFile file(path);
    if (file.Create()) {
        return false;
    }
    struct stat previous {};
    if (::stat(path.c_str(), &previous) == 0 && S_ISREG(previous.st_mode)) {
        ::fchmod(file.Descriptor(), previous.st_mode & 07777);
    }
    const std::string text = SaveText();
    return !file.Write(text.data(), text.size()) && !file.Sync() && !file.Commit();
}

std::string SettingFile::SaveText() const
{
    std::string text;
    for (const auto& [name, keys] : sections) {
        text += "[" + name + "]\r\n";
        for (const auto& [key, value] : keys) {
            text += key + "=" + value + "\r\n";
        }
    }
    return text;
}

std::string SettingFile::GetString(const std::string& section, const std::string& key) const
{
    const auto found = sections.find(section);
    if (found == sections.end()) {
        return std::string();
    }
    const auto value = found->second.find(key);
    return value == found->second.end() ? std::string() : value->second;
}

void SettingFile::SetString(const std::string& section, const std::string& key, const std::string& value)
{
    sections[section][key] = value;
}

int64_t SettingFile::GetInt(const std::string& key) const
{
    int64_t value = 0;
    if (!boost::conversion::try_lexical_convert(GetString(kApplicationSection, key), value)) {
        return 0;
    }
    return value;
}

void SettingFile::SetInt(const std::string& key, int64_t value)
{
    SetString(kApplicationSection, key, std::to_string(value));
}
