#pragma once
// Whether a folder lies on a removable medium (a USB stick, a card reader).
// Linux rule: the folder's mount is backed by a block device whose disk has
// removable = 1 or sits on the USB bus, or the mount point lies under /media/
// or /run/media/.
#include <functional>
#include <string>
#include <string_view>

bool IsRemovableDrive(const std::string& path);
// A folder the user chose as a card although it lies on a fixed disk: taken
// as removable for the rest of the run.
void AllowFolderAsCard(const std::string& path);

// The seam: replaces the probe (nullptr restores the real one). Tests use it,
// and the command line, where a folder named by the user is an explicit choice.
void SetRemovableDriveProbe(std::function<bool(const std::string&)> probe);

// The mount point and the device ("major:minor") of the mount holding path,
// read from the text of /proc/self/mountinfo. Empty strings when none matches.
struct MountInfo {
    std::string mountPoint;
    std::string device;
};
MountInfo FindMount(std::string_view mountinfoText, const std::string& absolutePath);
