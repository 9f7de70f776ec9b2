#include "platform/volumes.h"

#include <algorithm>
#include <array>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <sstream>
#include <system_error>

namespace wexal {

namespace {

constexpr std::array<std::string_view, 23> kPseudoTypes = {
    "proc",     "sysfs",      "cgroup",    "cgroup2", "devpts",      "devtmpfs",
    "mqueue",   "securityfs", "debugfs",   "tracefs", "pstore",      "bpf",
    "configfs", "fusectl",    "hugetlbfs", "autofs",  "binfmt_misc", "efivarfs",
    "nsfs",     "rpc_pipefs", "selinuxfs", "nfsd",    "fuse.portal",
};

constexpr std::array<std::string_view, 15> kNetworkTypes = {
    "nfs", "nfs4", "cifs",  "smb3",        "smbfs",     "sshfs",          "fuse.sshfs", "9p",
    "afs", "ceph", "davfs", "fuse.rclone", "glusterfs", "fuse.glusterfs", "fuse.s3fs",
};

template <std::size_t N>
bool OneOf(const std::array<std::string_view, N>& list, std::string_view value) {
    return std::find(list.begin(), list.end(), value) != list.end();
}

bool IsUnder(std::string_view path, std::string_view folder) {
    return path == folder ||
           (path.size() > folder.size() && path.starts_with(folder) && path[folder.size()] == '/');
}

// Mount tables write blanks, tabs, line feeds and backslashes as "\ooo".
std::string Unescape(std::string_view field) {
    std::string result;
    result.reserve(field.size());
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size()) {
            const std::string_view digits = field.substr(i + 1, 3);
            if (std::all_of(digits.begin(), digits.end(),
                            [](char c) { return c >= '0' && c <= '7'; })) {
                result += static_cast<char>(((digits[0] - '0') << 6) | ((digits[1] - '0') << 3) |
                                            (digits[2] - '0'));
                i += 3;
                continue;
            }
        }
        result += field[i];
    }
    return result;
}

bool IsRamDiskPlace(std::string_view mountPoint) {
    return mountPoint == "/tmp" || IsUnder(mountPoint, "/mnt") || IsUnder(mountPoint, "/media") ||
           IsUnder(mountPoint, "/run/media");
}

std::optional<VolumeKind> Classify(const std::string& device, const std::string& mountPoint,
                                   std::string_view type,
                                   const std::function<bool(const std::string&)>& isRemovable) {
    if (OneOf(kPseudoTypes, type)) return std::nullopt;
    if (OneOf(kNetworkTypes, type)) return VolumeKind::Network;
    if (type == "iso9660" || type == "udf") return VolumeKind::CdRom;
    if (type == "tmpfs" || type == "ramfs") {
        if (IsRamDiskPlace(mountPoint)) return VolumeKind::RamDisk;
        return std::nullopt;
    }
    if (type == "overlay") {
        if (mountPoint == "/") return VolumeKind::Fixed;
        return std::nullopt;
    }
    if (type == "squashfs" && IsUnder(mountPoint, "/snap")) return std::nullopt;
    if (type == "zfs") return VolumeKind::Fixed;
    if (device.starts_with("/dev/sr")) return VolumeKind::CdRom;
    if (device.starts_with("/dev/")) {
        return isRemovable && isRemovable(device) ? VolumeKind::Removable : VolumeKind::Fixed;
    }
    return std::nullopt;
}

std::optional<std::string> ReadFirstLine(const std::filesystem::path& path) {
    std::ifstream in(path);
    std::string line;
    if (!in || !std::getline(in, line)) return std::nullopt;
    return line;
}

// A partition carries no "removable" of its own; its disk, one folder up in
// sysfs, does.
bool IsRemovableDevice(const std::string& device) {
    std::error_code error;
    const std::filesystem::path resolved = std::filesystem::canonical(device, error);
    if (error) return false;
    const std::filesystem::path block =
        std::filesystem::path("/sys/class/block") / resolved.filename();
    auto flag = ReadFirstLine(block / "removable");
    if (!flag) {
        const std::filesystem::path node = std::filesystem::canonical(block, error);
        if (error) return false;
        flag = ReadFirstLine(node.parent_path() / "removable");
    }
    return flag && *flag == "1";
}

}  // namespace

std::vector<Volume> ParseMounts(std::string_view procMountsText,
                                const std::function<bool(const std::string& device)>& isRemovable) {
    std::map<std::string, std::optional<VolumeKind>> byMountPoint;
    std::istringstream lines{std::string(procMountsText)};
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::string device;
        std::string mountPoint;
        std::string type;
        if (!(fields >> device >> mountPoint >> type)) continue;
        device = Unescape(device);
        mountPoint = Unescape(mountPoint);
        byMountPoint[mountPoint] = Classify(device, mountPoint, type, isRemovable);
    }
    std::vector<Volume> volumes;
    for (const auto& [mountPoint, kind] : byMountPoint) {
        if (kind) volumes.push_back({mountPoint, *kind});
    }
    return volumes;
}

std::vector<Volume> MountedVolumes() {
    std::ifstream in("/proc/self/mounts");
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<Volume> volumes = ParseMounts(text, IsRemovableDevice);
    // Containers bind-mount single files (/etc/hosts); they are no place to change to.
    std::erase_if(volumes, [](const Volume& volume) {
        std::error_code error;
        return !std::filesystem::is_directory(volume.mountPoint, error);
    });
    return volumes;
}

std::string VolumeKindText(VolumeKind kind) {
    switch (kind) {
        case VolumeKind::Removable:
            return "(ﾘﾑｰﾊﾞﾌﾞﾙﾃﾞｨｽｸ)";
        case VolumeKind::Fixed:
            return "(固定ﾃﾞｨｽｸ)";
        case VolumeKind::Network:
            return "(ﾈｯﾄﾜｰｸ)";
        case VolumeKind::CdRom:
            return "(CD-ROM)";
        case VolumeKind::RamDisk:
            return "(RAM ﾃﾞｨｽｸ)";
    }
    return {};
}

}  // namespace wexal
