#include <gtest/gtest.h>

#include <string>

#include "support/TestSupport.h"
#include "common/DriveType.h"

TEST(DriveType, FindMountTakesTheDeepestLatestMountAndSurvivesGarbage)
{
    const std::string text = std::string(
        "22 27 0:21 / /proc rw,relatime - proc proc rw\n"
        "27 1 254:1 / / rw,relatime shared:1 - ext4 /dev/vda1 rw\n"
        "30 27 254:3 / /home rw,relatime shared:2 - ext4 /dev/vda3 rw\n"
        "88 27 8:17 / /media/user/MY\\040STICK rw,nosuid,nodev,relatime shared:50 - vfat /dev/sdb1 rw,uid=1000\n"
        "89 27 8:33 / /mnt/usb rw,relatime shared:51 - exfat /dev/sdc1 rw\n"
        "90 27 8:49 / /mnt/usbother rw,relatime shared:52 - ext4 /dev/sdd1 rw\n"
        "91 30 8:65 /saves /home/user/cards\\011tab\\134back rw - ext4 /dev/sde1 rw\n"
        "95 88 0:50 / /media/user/MY\\040STICK rw - tmpfs tmpfs rw\n"
        "1 2 3\n1 2 ../../etc / /x rw\n1 2 8: / /x rw\n1 2 :8 / /x rw\n1 2 99999999999:1 / /x rw\n"
        "1 2 8:2 / /y\\9\\777\\04 rw\n"  // broken escapes stay as written
        "1 2 8:3 / /z\\\n\n\n   \n") + std::string("1 2 8:4 / /n\0ul rw\n", 19) + std::string(5000, ' ') + "\xFF\xFE";
    const struct { std::string path, mountPoint, device; } cases[] = {
        {"/home/user/PS2", "/home", "254:3"}, {"/etc", "/", "254:1"}, {"/mnt/usb", "/mnt/usb", "8:33"},
        {"/mnt/usb/", "/mnt/usb", "8:33"}, {"/mnt/usbother/x", "/mnt/usbother", "8:49"},
        {"/mnt/usb2/x", "/", "254:1"}, {"/homework", "/", "254:1"},  // only begins like a mount point
        {"/media/user/MY STICK/PS2/BASLUS-20184", "/media/user/MY STICK", "0:50"},
        {"/home/user/cards\ttab\\back/0", "/home/user/cards\ttab\\back", "8:65"},
        {"/media/user/MY\\040STICK", "/", "254:1"}, {"/x/1", "/", "254:1"}, {"/y\\9\\777\\04/a", "/y\\9\\777\\04", "8:2"},
        {"/z\\", "/z\\", "8:3"}, {std::string("/n\0ul", 5), std::string("/n\0ul", 5), "8:4"},
        {"relative/path", "", ""}, {"", "", ""}};
    for (const auto& c : cases) {
        const MountInfo mount = FindMount(text, c.path);
        EXPECT_EQ(mount.mountPoint, c.mountPoint) << c.path;
        EXPECT_EQ(mount.device, c.device) << c.path;
    }
    EXPECT_EQ(FindMount("", "/").mountPoint, "");
}

TEST(DriveType, ProbeSeam)
{
    std::string asked;
    SetRemovableDriveProbe([&asked](const std::string& path) {
        asked = path;
        return path == "/stick";
    });
    EXPECT_TRUE(IsRemovableDrive("/stick"));
    EXPECT_FALSE(IsRemovableDrive("/disk"));
    EXPECT_EQ(asked, "/disk");
    SetRemovableDriveProbe(nullptr);
    TempDir dir;
    EXPECT_FALSE(IsRemovableDrive(dir / "missing") || IsRemovableDrive("/proc") || IsRemovableDrive(""));
    EXPECT_EQ(asked, "/disk");  // the real probe is back
}
