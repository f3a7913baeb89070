#include "platform/removable_volumes.h"

#include <gtest/gtest.h>

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
        "broken-line-without-mount-point\n"
        "\n";
    EXPECT_EQ(RemovableMountPoints(mounts),
              (std::vector<std::string>{"/media/kim/CARD", "/media/kim/NO NAME",
                                        "/run/media/kim/KX2", "/mnt/\\odd", "/mnt/sd"}));
    EXPECT_TRUE(RemovableMountPoints("").empty());
}
