#include "common/DriveType.h"

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <mutex>
#include <set>
#include <vector>

#include "common/FileHelpers.h"

namespace {

std::mutex& ProbeMutex()
{
    static std::mutex mutex;
    return mutex;
}

std::function<bool(const std::string&)>& Probe()
{
    static std::function<bool(const std::string&)> probe;
    return probe;
}

bool IsDecimal(std::string_view text)
{
    if (text.empty() || text.size() > 10) {
        return false;
    }
    for (char c : text) {
        if (c < '0' || c > '9') {
            return false;
        }
    }
    return true;
}

// "major:minor", and nothing else: the text becomes part of a path under /sys.
bool IsDeviceNumber(std::string_view text)
{
    const size_t colon = text.find(':');
    return colon != std::string_view::npos && IsDecimal(text.substr(0, colon)) && IsDecimal(text.substr(colon + 1));
}

bool IsOctal(char c) { return c >= '0' && c <= '7'; }

// The kernel writes space, tab, line feed and backslash in mount paths as \ooo.
std::string Unescape(std::string_view field)
{
    std::string text;
    text.reserve(field.size());
    for (size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size() && IsOctal(field[i + 1]) && IsOctal(field[i + 2]) &&
            IsOctal(field[i + 3])) {
            const int value = (field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 + (field[i + 3] - '0');
            if (value <= 0xFF) {
                text += static_cast<char>(value);
                i += 3;
                continue;
            }
        }
        text += field[i];
    }
    return text;
}

std::vector<std::string_view> SplitFields(std::string_view line, size_t wanted)
{
    std::vector<std::string_view> fields;
    while (fields.size() < wanted && !line.empty()) {
        const size_t space = line.find(' ');
        fields.push_back(line.substr(0, space));
        line.remove_prefix(space == std::string_view::npos ? line.size() : space + 1);
    }
    return fields;
}

bool Contains(const std::string& path, const std::string& mountPoint)
{
    if (mountPoint == "/") {
        return true;
    }
    return path.compare(0, mountPoint.size(), mountPoint) == 0 &&
           (path.size() == mountPoint.size() || path[mountPoint.size()] == '/');
}

bool StartsWith(const std::string& text, std::string_view prefix) { return text.compare(0, prefix.size(), prefix) == 0; }

std::string RealPath(const std::string& path)
{
    const std::unique_ptr<char, void (*)(void*)> resolved(::realpath(path.c_str(), nullptr), std::free);
    return resolved ? std::string(resolved.get()) : std::string();
}

std::string ReadSmallFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool BlockDeviceIsRemovable(const std::string& device)
{
    // /sys/dev/block/M:m leads to the device's place in the device tree, where
    // the bus it hangs on is part of the path.
    std::string node = RealPath("/sys/dev/block/" + device);
    if (node.empty()) {
        return false;
    }
    if (node.find("/usb") != std::string::npos) {
        return true;
    }
    // A partition has no "removable" of its own: its disk is the folder above.
    for (int level = 0; level < 2; ++level) {
        const std::string flag = ReadSmallFile(node + "/removable");
        if (!flag.empty()) {
            return flag[0] == '1';
        }
        if (!Exists(node + "/partition")) {
            break;
        }
        node = node.substr(0, node.rfind('/'));
    }
    return false;
}

bool ProbeRemovable(const std::string& path)
{
    const std::string resolved = RealPath(path);
    if (resolved.empty()) {
        return false;
    }
    const MountInfo mount = FindMount(ReadSmallFile("/proc/self/mountinfo"), resolved);
    if (mount.mountPoint.empty()) {
        return false;
    }
    if (StartsWith(mount.mountPoint, "/media/") || StartsWith(mount.mountPoint, "/run/media/")) {
        return true;
    }
    return BlockDeviceIsRemovable(mount.device);
}

}  // namespace

std::set<std::string>& AllowedFolders()
{
    static std::set<std::string> folders;
    return folders;
}

void AllowFolderAsCard(const std::string& path)
{
    std::lock_guard<std::mutex> lock(ProbeMutex());
    AllowedFolders().insert(path);
}

bool IsRemovableDrive(const std::string& path)
{
    std::function<bool(const std::string&)> probe;
    {
        std::lock_guard<std::mutex> lock(ProbeMutex());
        if (AllowedFolders().count(path) != 0) {
            return true;
        }
        probe = Probe();
    }
    return probe ? probe(path) : ProbeRemovable(path);
}

void SetRemovableDriveProbe(std::function<bool(const std::string&)> probe)
{
    std::lock_guard<std::mutex> lock(ProbeMutex());
    Probe() = std::move(probe);
}

// Line layout: id, parent id, major:minor, root, mount point, options, ...
// The deepest mount holding the path wins; of equal ones the later, which lies on top.
MountInfo FindMount(std::string_view mountinfoText, const std::string& absolutePath)
{
    MountInfo best;
    if (absolutePath.empty() || absolutePath.front() != '/') {
        return best;
    }
    while (!mountinfoText.empty()) {
        const size_t lineFeed = mountinfoText.find('\n');
        const std::string_view line = mountinfoText.substr(0, lineFeed);
        mountinfoText.remove_prefix(lineFeed == std::string_view::npos ? mountinfoText.size() : lineFeed + 1);
        const std::vector<std::string_view> fields = SplitFields(line, 5);
        if (fields.size() < 5 || !IsDeviceNumber(fields[2])) {
            continue;
        }
        std::string mountPoint = Unescape(fields[4]);
        if (mountPoint.empty() || mountPoint.front() != '/') {
            continue;
        }
        if (mountPoint.size() > 1 && mountPoint.back() == '/') {
            mountPoint.pop_back();
        }
        if (Contains(absolutePath, mountPoint) &&
            (best.mountPoint.empty() || mountPoint.size() >= best.mountPoint.size())) {
            best.mountPoint = std::move(mountPoint);
            best.device = std::string(fields[2]);
        }
    }
    return best;
}
