#include <gtest/gtest.h>

#include <string>

#include "support/TestSupport.h"
#include "common/DriveType.h"

namespace {

const char* const kMountinfo =
    "22 27 0:21 / /proc rw,relatime - proc proc rw\n"
    "27 1 254:1 / / rw,relatime shared:1 - ext4 /dev/vda1 rw\n"
    "30 27 254:3 / /home rw,relatime shared:2 - ext4 /dev/vda3 rw\n"
    "41 27 0:35 / /tmp rw,nosuid,nodev shared:20 - tmpfs tmpfs rw\n"
    "88 27 8:17 / /media/user/MY\\040STICK rw,nosuid,nodev,relatime shared:50 - vfat /dev/sdb1 rw,uid=1000\n"
    "89 27 8:33 / /mnt/usb rw,relatime shared:51 - exfat /dev/sdc1 rw\n"
    "90 27 8:49 / /mnt/usbother rw,relatime shared:52 - ext4 /dev/sdd1 rw\n"
    "91 30 8:65 /saves /home/user/cards\\011tab\\134back rw - ext4 /dev/sde1 rw\n";

}  // namespace

TEST(DriveType, FindMountTakesTheDeepestMount)
{
    MountInfo mount = FindMount(kMountinfo, "/home/user/PS2");
    EXPECT_EQ(mount.mountPoint, "/home");
    EXPECT_EQ(mount.device, "254:3");
    mount = FindMount(kMountinfo, "/etc");
    EXPECT_EQ(mount.mountPoint, "/");
    EXPECT_EQ(mount.device, "254:1");
    EXPECT_EQ(FindMount(kMountinfo, "/mnt/usb").device, "8:33");
    EXPECT_EQ(FindMount(kMountinfo, "/mnt/usb/").device, "8:33");
    EXPECT_EQ(FindMount(kMountinfo, "/mnt/usbother/x").device, "8:49");
    // A name that only begins like a mount point is not inside it.
    EXPECT_EQ(FindMount(kMountinfo, "/mnt/usb2/x").device, "254:1");
    EXPECT_EQ(FindMount(kMountinfo, "/homework").mountPoint, "/");
}

TEST(DriveType, FindMountDecodesEscapes)
{
    MountInfo mount = FindMount(kMountinfo, "/media/user/MY STICK/PS2/BASLUS-20184");
    EXPECT_EQ(mount.mountPoint, "/media/user/MY STICK");
    EXPECT_EQ(mount.device, "8:17");
    mount = FindMount(kMountinfo, "/home/user/cards\ttab\\back/0");
    EXPECT_EQ(mount.mountPoint, "/home/user/cards\ttab\\back");
    EXPECT_EQ(FindMount(kMountinfo, "/media/user/MY\\040STICK").mountPoint, "/");
}

TEST(DriveType, FindMountLaterMountLiesOnTop)
{
    const std::string text = std::string(kMountinfo) + "95 88 0:50 / /media/user/MY\\040STICK rw - tmpfs tmpfs rw\n";
    EXPECT_EQ(FindMount(text, "/media/user/MY STICK/x").device, "0:50");
}

TEST(DriveType, FindMountSurvivesGarbage)
{
    EXPECT_EQ(FindMount("", "/").mountPoint, "");
    EXPECT_EQ(FindMount(kMountinfo, "relative/path").mountPoint, "");
    EXPECT_EQ(FindMount(kMountinfo, "").mountPoint, "");
    const std::string garbage = std::string(
                                    "1 2 3\n"
                                    "1 2 ../../etc / /x rw\n"      // a device that is no number pair
                                    "1 2 8: / /x rw\n"
                                    "1 2 :8 / /x rw\n"
                                    "1 2 99999999999:1 / /x rw\n"
                                    "1 2 8:1 / relative rw\n"
                                    "1 2 8:2 / /y\\9\\777\\04 rw\n"  // broken escapes stay as written
                                    "1 2 8:3 / /z\\\n"
                                    "\n\n   \n") +
                                std::string("1 2 8:4 / /n\0ul rw\n", 19) + std::string(5000, ' ') + "\xFF\xFE";
    for (const std::string path : {"/x", "/x/1", "/"}) {
        EXPECT_EQ(FindMount(garbage, path).mountPoint, "") << path;
    }
    EXPECT_EQ(FindMount(garbage, "/y\\9\\777\\04/a").device, "8:2");
    EXPECT_EQ(FindMount(garbage, "/z\\").device, "8:3");
    EXPECT_EQ(FindMount(garbage, std::string("/n\0ul", 5)).device, "8:4");
}

TEST(DriveType, ProbeSeam)
{
    std::string asked;
    SetRemovableDriveProbe([&asked](const std::string& path) {
        asked = path;
        return path == "/stick";
    });
    EXPECT_TRUE(IsRemovableDrive("/stick"));
    EXPECT_EQ(asked, "/stick");
    EXPECT_FALSE(IsRemovableDrive("/disk"));
    SetRemovableDriveProbe(nullptr);
    asked.clear();
    TempDir dir;
    // The real probe: a folder that does not exist is not removable, nor is /proc.
    EXPECT_FALSE(IsRemovableDrive(dir / "missing"));
    EXPECT_FALSE(IsRemovableDrive("/proc"));
    EXPECT_FALSE(IsRemovableDrive(""));
    EXPECT_EQ(asked, "");
}
