#include "platform/removable_volumes.h"

#include <gtest/gtest.h>

#include "support/temp_dir.h"

using namespace locket;

TEST(RemovableVolumes, KeepsMediaRunMediaAndMntInAFixedOrder) {
    const std::string mounts =
        "sysfs /sys sysfs rw,nosuid 0 0\n"
        "/dev/sdc1 /mnt/sd vfat rw 0 0\n"
        "/dev/sda1 / ext4 rw 0 0\n"
        "/dev/sdb1 /run/media/kim/KX2 vfat rw 0 0\n"
        "/dev/sdd1 /media/kim/NO\\040NAME exfat rw 0 0\n"
        "/dev/sde1 /media/kim/CARD vfat rw 0 0\n"
        "/dev/sde1 /media/kim/CARD vfat rw 0 0\n"
        "tmpfs /media tmpfs rw 0 0\n"
        "/dev/sdf1 /mediafake/x vfat rw 0 0\n"
        "/dev/sdg1 /home/kim/media/x vfat rw 0 0\n"
        "/dev/sdh1 /mnt/\\134odd vfat rw 0 0\n"
        "/dev/sdi1 /mnt/\\000 vfat rw 0 0\n"
        "broken-line-without-mount-point\n"
        "\n";
    EXPECT_EQ(
        RemovableMountPoints(mounts),
        (std::vector<std::string>{"/media/kim/CARD", "/media/kim/NO NAME", "/run/media/kim/KX2",
                                  "/mnt/\\000", "/mnt/\\odd", "/mnt/sd"}));
    EXPECT_TRUE(RemovableMountPoints("").empty());

    // From a file of 4097 bytes, whose last read brings a single byte; a second read of the
    // same text reports no change.
    testsupport::TempDir folder("volumes");
    const std::string last = "/dev/sdz1 /media/kim/Z";
    testsupport::WriteText(folder.File("mounts"),
                           "#" + std::string(4095 - last.size(), '-') + "\n" + last);
    CRemovableVolumes volumes(folder.File("mounts"));
    EXPECT_TRUE(volumes.Refresh());
    EXPECT_EQ(volumes.MountPoints(), std::vector<std::string>{"/media/kim/Z"});
    EXPECT_FALSE(volumes.Refresh());
}
