#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "platform/removable_volumes.h"

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

TEST(RemovableVolumes, RefreshReportsOnlyChangesOfTheMountsFile) {
    std::string path = (std::filesystem::temp_directory_path() / "locket-mounts-test").string();
    std::ofstream(path) << "/dev/sdb1 /media/u/A vfat rw 0 0\n";
    CRemovableVolumes volumes(path);
    EXPECT_TRUE(volumes.Refresh());
    EXPECT_EQ(volumes.MountPoints(), std::vector<std::string>{"/media/u/A"});
    EXPECT_FALSE(volumes.Refresh());
    std::ofstream(path) << "/dev/sdb1 /media/u/A vfat rw 0 0\n/dev/sdc1 /mnt/B vfat rw 0 0\n";
    EXPECT_TRUE(volumes.Refresh());
    EXPECT_EQ(volumes.MountPoints().size(), 2u);
    std::remove(path.c_str());
    EXPECT_TRUE(volumes.Refresh()) << "a vanished mounts file reads as no volumes";
    EXPECT_TRUE(volumes.MountPoints().empty());

    CRemovableVolumes real;  // the running system's table parses without trouble
    EXPECT_TRUE(real.Refresh());
    EXPECT_EQ(real.MountsFile(), kProcMountsFile);
}
