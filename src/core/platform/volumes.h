#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace wexal {

// What the drive menu shows instead of drive letters: the mounted volumes an
// operator can keep NC programs on, each with its kind.
enum class VolumeKind { Removable, Fixed, Network, CdRom, RamDisk };

struct Volume {
    std::string mountPoint;
    VolumeKind kind;
};

// Classifies the lines of /proc/self/mounts. System mounts (proc, sysfs, cgroups,
// snap images, runtime tmpfs, ...) are left out; the last mount on a mount point
// decides it; the result is sorted by mount point. isRemovable answers for a
// /dev/ block device.
std::vector<Volume> ParseMounts(std::string_view procMountsText,
                                const std::function<bool(const std::string& device)>& isRemovable);

// The volumes mounted now, as far as their mount points are folders.
std::vector<Volume> MountedVolumes();

// The menu text of a kind, e.g. "(固定ﾃﾞｨｽｸ)".
std::string VolumeKindText(VolumeKind kind);

}  // namespace wexal
