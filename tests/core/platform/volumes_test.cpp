#include "platform/volumes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace wexal {
namespace {

// A desktop with an NVMe disk, a USB stick, an optical disc, network shares
// and the usual system mounts, as /proc/self/mounts lists them.
constexpr const char* kDesktopMounts =
    "sysfs /sys sysfs rw,nosuid,nodev,noexec,relatime 0 0\n"
    "proc /proc proc rw,nosuid,nodev,noexec,relatime 0 0\n"
    "udev /dev devtmpfs rw,nosuid,relatime,size=8123456k,mode=755 0 0\n"
    "devpts /dev/pts devpts rw,nosuid,noexec,relatime,gid=5,mode=620 0 0\n"
    "tmpfs /run tmpfs rw,nosuid,nodev,noexec,relatime,size=1629768k,mode=755 0 0\n"
    "/dev/nvme0n1p2 / ext4 rw,relatime,errors=remount-ro 0 0\n"
    "securityfs /sys/kernel/security securityfs rw,nosuid,nodev,noexec,relatime 0 0\n"
    "tmpfs /dev/shm tmpfs rw,nosuid,nodev 0 0\n"
    "cgroup2 /sys/fs/cgroup cgroup2 rw,nosuid,nodev,noexec,relatime,nsdelegate 0 0\n"
    "pstore /sys/fs/pstore pstore rw,nosuid,nodev,noexec,relatime 0 0\n"
    "bpf /sys/fs/bpf bpf rw,nosuid,nodev,noexec,relatime,mode=700 0 0\n"
    "systemd-1 /proc/sys/fs/binfmt_misc autofs rw,relatime,fd=29,pgrp=1,direct 0 0\n"
    "hugetlbfs /dev/hugepages hugetlbfs rw,relatime,pagesize=2M 0 0\n"
    "mqueue /dev/mqueue mqueue rw,nosuid,nodev,noexec,relatime 0 0\n"
    "debugfs /sys/kernel/debug debugfs rw,nosuid,nodev,noexec,relatime 0 0\n"
    "tracefs /sys/kernel/tracing tracefs rw,nosuid,nodev,noexec,relatime 0 0\n"
    "fusectl /sys/fs/fuse/connections fusectl rw,nosuid,nodev,noexec,relatime 0 0\n"
    "configfs /sys/kernel/config configfs rw,nosuid,nodev,noexec,relatime 0 0\n"
    "/dev/loop3 /snap/core22/1380 squashfs ro,nodev,relatime,errors=continue 0 0\n"
    "/dev/nvme0n1p1 /boot/efi vfat rw,relatime,fmask=0077,dmask=0077,codepage=437 0 0\n"
    "tmpfs /tmp tmpfs rw,nosuid,nodev,size=4096k 0 0\n"
    "binfmt_misc /proc/sys/fs/binfmt_misc binfmt_misc rw,nosuid,nodev,noexec,relatime 0 0\n"
    "tmpfs /run/user/1000 tmpfs rw,nosuid,nodev,relatime,mode=700,uid=1000,gid=1000 0 0\n"
    "gvfsd-fuse /run/user/1000/gvfs fuse.gvfsd-fuse rw,nosuid,nodev,relatime,user_id=1000 0 0\n"
    "portal /run/user/1000/doc fuse.portal rw,nosuid,nodev,relatime,user_id=1000 0 0\n"
    "/dev/sdb2 /data ext4 rw,relatime 0 0\n"
    "/dev/sda2 /data xfs rw,relatime,attr2,inode64 0 0\n"
    "/dev/sdb1 /media/operator/NC\\040DATA vfat rw,nosuid,nodev,relatime,uid=1000 0 0\n"
    "/dev/sr0 /media/operator/CNC_BACKUP iso9660 ro,nosuid,nodev,relatime,uid=1000 0 0\n"
    "/dev/sdc1 /media/operator/DVD udf ro,nosuid,nodev,relatime,uid=1000 0 0\n"
    "/dev/sdd /run/media/operator/STICK exfat rw,nosuid,nodev,relatime 0 0\n"
    "/dev/sdd2 /run/media/operator/TAB\\011\\134NAME vfat rw,nosuid,nodev,relatime 0 0\n"
    "//fileserver/nc /mnt/nc cifs rw,relatime,vers=3.1.1,cache=strict 0 0\n"
    "fileserver:/export/programs /mnt/programs nfs4 rw,relatime,vers=4.2 0 0\n"
    "systemd-1 /mnt/archive autofs rw,relatime,fd=47,pgrp=1,direct 0 0\n"
    "archive:/vol /mnt/archive nfs rw,relatime,vers=3 0 0\n"
    "operator@cam:/ /mnt/cam fuse.sshfs rw,nosuid,nodev,relatime,user_id=1000 0 0\n"
    "tmpfs /mnt/ramdisk tmpfs rw,relatime,size=524288k 0 0\n";

std::vector<std::pair<std::string, VolumeKind>> Flatten(const std::vector<Volume>& volumes) {
    std::vector<std::pair<std::string, VolumeKind>> flat;
    for (const Volume& volume : volumes) flat.emplace_back(volume.mountPoint, volume.kind);
    return flat;
}

TEST(VolumesTest, DesktopMountsAreClassifiedAndSorted) {
    const std::set<std::string> removable = {"/dev/sdb1", "/dev/sdb2", "/dev/sdc1", "/dev/sdd",
                                             "/dev/sdd2"};
    std::vector<std::string> asked;
    const auto volumes = ParseMounts(kDesktopMounts, [&](const std::string& device) {
        asked.push_back(device);
        return removable.count(device) > 0;
    });

    using K = VolumeKind;
    const std::vector<std::pair<std::string, VolumeKind>> expected = {
        {"/", K::Fixed},
        {"/boot/efi", K::Fixed},
        {"/data", K::Fixed},
        {"/media/operator/CNC_BACKUP", K::CdRom},
        {"/media/operator/DVD", K::CdRom},
        {"/media/operator/NC DATA", K::Removable},
        {"/mnt/archive", K::Network},
        {"/mnt/cam", K::Network},
        {"/mnt/nc", K::Network},
        {"/mnt/programs", K::Network},
        {"/mnt/ramdisk", K::RamDisk},
        {"/run/media/operator/STICK", K::Removable},
        {"/run/media/operator/TAB\t\\NAME", K::Removable},
        {"/tmp", K::RamDisk},
    };
    EXPECT_EQ(Flatten(volumes), expected);
    EXPECT_EQ(std::count(asked.begin(), asked.end(), "/dev/loop3"), 0);
}

TEST(VolumesTest, ContainerRootOverlayIsTheFixedDisk) {
    const char* mounts =
        "overlay / overlay rw,relatime,lowerdir=/var/lib/docker/overlay2/l/ABC,upperdir=/u 0 0\n"
        "overlay /var/lib/docker/overlay2/abc/merged overlay rw,relatime,lowerdir=/l 0 0\n"
        "shm /dev/shm tmpfs rw,nosuid,nodev,noexec,relatime,size=65536k 0 0\n"
        "/dev/vda1 /etc/hosts ext4 rw,relatime 0 0\n"
        "\n"
        "garbage\n";
    const auto volumes = ParseMounts(mounts, nullptr);
    const std::vector<std::pair<std::string, VolumeKind>> expected = {
        {"/", VolumeKind::Fixed},
        {"/etc/hosts", VolumeKind::Fixed},
    };
    EXPECT_EQ(Flatten(volumes), expected);
}

TEST(VolumesTest, SystemMountOverAVolumeHidesIt) {
    const auto volumes = ParseMounts(
        "/dev/sda1 /mnt/work ext4 rw 0 0\n"
        "tmpfs /run/shadow tmpfs rw 0 0\n"
        "proc /mnt/work proc rw 0 0\n",
        [](const std::string&) { return false; });
    EXPECT_TRUE(volumes.empty());
}

TEST(VolumesTest, MountedVolumesAreFoldersIncludingTheRoot) {
    const auto volumes = MountedVolumes();
    ASSERT_FALSE(volumes.empty());
    EXPECT_EQ(volumes.front().mountPoint, "/");
    for (const Volume& volume : volumes) {
        EXPECT_TRUE(std::filesystem::is_directory(volume.mountPoint)) << volume.mountPoint;
    }
    EXPECT_TRUE(std::is_sorted(
        volumes.begin(), volumes.end(),
        [](const Volume& a, const Volume& b) { return a.mountPoint < b.mountPoint; }));
}

}  // namespace
}  // namespace wexal
