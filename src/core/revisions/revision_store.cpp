#include "revisions/revision_store.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <optional>
#include <thread>

#include "platform/atomic_file.h"
#include "platform/error_text.h"
#include "platform/os_file.h"
#include "platform/path_rules.h"
#include "platform/unique_fd.h"
#include "programs/program_names.h"
#include "revisions/file_lock.h"

namespace wexal {

namespace fs = std::filesystem;
using revision_parts::FileLock;

namespace {

constexpr std::string_view kLockName = ".lock";
constexpr std::size_t kStampSize = 20;  // YYYYMMDDTHHMMSS.mmmZ
// A name longer than this is refused by the file systems in use.
constexpr std::size_t kMaxNameBytes = 255;
constexpr std::size_t kBlock = 1 << 20;
constexpr int kMostInOneMillisecond = 1000;

constexpr std::string_view kNotAFolder = "版を残すフォルダ(.wexal-revisions)がフォルダではありません。";
constexpr std::string_view kLockTimeout = "同じファイルへの別の書き込みが10秒たっても終わりません。";

std::int64_t NowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

struct Civil {
    int year, month, day, hour, minute, second, millisecond;
};

Civil CivilOf(std::int64_t timeMs) {
    using namespace std::chrono;
    const sys_time<milliseconds> at{milliseconds{timeMs}};
    const sys_days day = floor<days>(at);
    const year_month_day ymd{day};
    const hh_mm_ss<milliseconds> time{at - day};
    return {static_cast<int>(ymd.year()),     static_cast<int>(static_cast<unsigned>(ymd.month())),
            static_cast<int>(static_cast<unsigned>(ymd.day())),
            static_cast<int>(time.hours().count()), static_cast<int>(time.minutes().count()),
            static_cast<int>(time.seconds().count()),
            static_cast<int>(time.subseconds().count())};
}

std::string Stamp(std::int64_t timeMs) {
    const Civil c = CivilOf(timeMs);
    char text[40];
    std::snprintf(text, sizeof text, "%04d%02d%02dT%02d%02d%02d.%03dZ", c.year, c.month, c.day,
                  c.hour, c.minute, c.second, c.millisecond);
    return text;
}

// Digits at [from, from + count) of text as a number, or -1.
int DigitsAt(std::string_view text, std::size_t from, std::size_t count) {
    int value = 0;
    for (std::size_t i = from; i < from + count; ++i) {
        if (i >= text.size() || text[i] < '0' || text[i] > '9') return -1;
        value = value * 10 + (text[i] - '0');
    }
    return value;
}

// A revision's name read back: its time, sequence and source. The file's
// extension ends the source. nullopt for any other name (the lock, a
// temporary, something a person put there).
struct ParsedName {
    std::int64_t timeMs;
    int sequence;
    std::string source;
};
std::optional<ParsedName> ParseName(std::string_view name, std::string_view extension) {
    if (name.size() < kStampSize || name[8] != 'T' || name[15] != '.' || name[19] != 'Z') {
        return std::nullopt;
    }
    const int year = DigitsAt(name, 0, 4), month = DigitsAt(name, 4, 2), day = DigitsAt(name, 6, 2);
    const int hour = DigitsAt(name, 9, 2), minute = DigitsAt(name, 11, 2);
    const int second = DigitsAt(name, 13, 2), ms = DigitsAt(name, 16, 3);
    if (year < 0 || month < 1 || month > 12 || day < 1 || day > 31 || hour < 0 || hour > 23 ||
        minute < 0 || minute > 59 || second < 0 || second > 60 || ms < 0) {
        return std::nullopt;
    }
    using namespace std::chrono;
    const sys_days date{std::chrono::year{year} / month / day};
    ParsedName parsed{
        duration_cast<milliseconds>(date.time_since_epoch() + hours{hour} + minutes{minute} +
                                    seconds{second} + milliseconds{ms})
            .count(),
        1, {}};
    std::string_view rest = name.substr(kStampSize);
    if (rest.starts_with('-')) {
        std::size_t digits = 1;
        while (digits < rest.size() && rest[digits] >= '0' && rest[digits] <= '9') ++digits;
        if (digits == 1 || digits > 5) return std::nullopt;
        parsed.sequence = DigitsAt(rest, 1, digits - 1);
        rest.remove_prefix(digits);
    }
    if (rest.starts_with('_')) {
        rest.remove_prefix(1);
        if (!extension.empty() && rest.size() > extension.size() && rest.ends_with(extension)) {
            rest.remove_suffix(extension.size());
        }
        parsed.source = rest;
    } else if (!rest.empty() && rest != extension) {
        return std::nullopt;
    }
    return parsed;
}

// The first bytes of text that are at most size bytes and whole UTF-8
// characters.
std::string_view CutUtf8(std::string_view text, std::size_t size) {
    if (text.size() <= size) return text;
    while (size > 0 && (static_cast<unsigned char>(text[size]) & 0xC0) == 0x80) --size;
    return text.substr(0, size);
}

// The names a revision may take, best first: with its source (cut to fit),
// without it, and without the extension, for a file system that refuses
// the first.
std::vector<std::string> CandidateNames(std::int64_t timeMs, int sequence,
                                        std::string_view source, std::string_view extension) {
    std::string stamp = Stamp(timeMs);
    if (sequence > 1) stamp += "-" + std::to_string(sequence);
    if (stamp.size() + extension.size() > kMaxNameBytes) extension = {};
    std::vector<std::string> names;
    const std::size_t room = kMaxNameBytes - stamp.size() - extension.size();
    if (!source.empty() && room > 1) {
        names.push_back(stamp + "_" + std::string(CutUtf8(source, room - 1)) +
                        std::string(extension));
    }
    names.push_back(stamp + std::string(extension));
    if (!extension.empty()) names.push_back(stamp);
    return names;
}

std::string ExtensionOf(const fs::path& file) {
    return PathRules::Extension(PathText(file.filename()));
}

// Makes one folder of the store unless it is there; refuses anything but a
// folder under its name, a link included. ENOENT, for a parent that another
// writer removed just now, is told apart.
int EnsureFolder(const fs::path& folder) {
    if (const int made = MakeFolder(folder); made != 0 && made != EEXIST) return made;
    const std::optional<FileStatus> status = StatPath(folder, false);
    if (!status) return errno;
    return status->type == FileStatus::Type::Directory ? 0 : ENOTDIR;
}

std::string FolderTrouble(int error) {
    return error == ENOTDIR ? std::string(kNotAFolder) : SystemErrorText(error);
}

// Takes the lock of a file's revisions, making their folders; "" or why not.
std::string TakeLock(const fs::path& folder, FileLock& lock) {
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::seconds(kRevisionLockSeconds);
    for (;;) {
        int error = EnsureFolder(folder.parent_path());
        if (error == 0) error = EnsureFolder(folder);
        if (error == 0) error = lock.TryTake(folder / kLockName);
        if (error == 0) return {};
        if (error != EBUSY && error != ENOENT) return FolderTrouble(error);
        if (std::chrono::steady_clock::now() >= deadline) return std::string(kLockTimeout);
        if (error == EBUSY) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

// Lets go of the lock; the folders go too while they hold nothing, so a
// file that never had a revision leaves no trace.
void ReleaseLock(const fs::path& folder, FileLock& lock) {
    lock.Release();
    std::error_code ignored;
    fs::remove(folder, ignored);
    fs::remove(folder.parent_path(), ignored);
}

// Hands the file's bytes to take (0 or an errno) a block at a time: 0, the
// read's errno, or take's first refusal.
template <typename Take>
int ReadBlocks(int fd, Take&& take) {
    std::string block(kBlock, '\0');
    for (std::int64_t at = 0;;) {
        const long long got = ReadFileAt(fd, block.data(), kBlock, at);
        if (got < 0) return errno;
        if (got == 0) return 0;
        if (const int refused = take(std::string_view(block.data(), static_cast<std::size_t>(got)));
            refused != 0) {
            return refused;
        }
        at += got;
    }
}

// Whether two files hold the same bytes; false when either cannot be read.
bool SameContent(const fs::path& a, const fs::path& b) {
    const std::optional<FileStatus> sa = StatPath(a, false), sb = StatPath(b, false);
    if (!sa || !sb || sa->size != sb->size) return false;
    const UniqueFd fa(OpenFile(a, O_RDONLY | kOpenNonBlock | kOpenNoFollow));
    const UniqueFd fb(OpenFile(b, O_RDONLY | kOpenNonBlock | kOpenNoFollow));
    if (!fa || !fb) return false;
    std::string ba(kBlock, '\0'), bb(kBlock, '\0');
    for (std::int64_t at = 0;;) {
        const long long na = ReadFileAt(fa.get(), ba.data(), kBlock, at);
        const long long nb = ReadFileAt(fb.get(), bb.data(), kBlock, at);
        if (na < 0 || na != nb) return false;
        if (na == 0) return true;
        if (std::string_view(ba.data(), static_cast<std::size_t>(na)) !=
            std::string_view(bb.data(), static_cast<std::size_t>(nb))) {
            return false;
        }
        at += na;
    }
}

// Keeps the file's content in folder: a hard link where the file system has
// them, else a copy. "" and the revision's path, or why not.
std::string Keep(const fs::path& file, const fs::path& folder, std::string_view source,
                 fs::path& revision) {
    const std::string extension = ExtensionOf(file);
    const std::int64_t now = NowMs();
    bool linksWork = true;
    for (int sequence = 1; sequence <= kMostInOneMillisecond; ++sequence) {
        bool taken = false;
        int error = 0;
        for (const std::string& name : CandidateNames(now, sequence, source, extension)) {
            revision = folder / Utf8Path(name);
            error = linksWork ? revision_parts::MakeHardLink(file, revision) : EPERM;
            if (error != 0 && error != EEXIST) {
                const int copied = revision_parts::CopyRevision(file, revision);
                // The link's refusal may be the name's: tell it from a file
                // system without links by the copy's answer.
                if (copied == 0 || copied == EEXIST) linksWork = false;
                error = copied;
            }
            if (error == 0) return {};
            if (error == EEXIST) {
                taken = true;
                break;
            }
            if (error != ENAMETOOLONG && error != EINVAL && error != EILSEQ) break;
        }
        if (!taken) return SystemErrorText(error);
    }
    return SystemErrorText(EEXIST);
}

// The parsed revisions in folder, oldest first.
struct Entry {
    ParsedName parsed;
    fs::path path;
};
std::vector<Entry> ReadEntries(const fs::path& folder, std::string_view extension,
                               std::error_code& error) {
    std::vector<Entry> entries;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        const std::string name = PathText(it->path().filename());
        if (std::optional<ParsedName> parsed = ParseName(name, extension)) {
            entries.push_back({std::move(*parsed), it->path()});
        }
    }
    std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
        if (a.parsed.timeMs != b.parsed.timeMs) return a.parsed.timeMs < b.parsed.timeMs;
        if (a.parsed.sequence != b.parsed.sequence) return a.parsed.sequence < b.parsed.sequence;
        return a.path < b.path;
    });
    return entries;
}

void RemoveBeyond(const fs::path& folder, std::string_view extension, int keep) {
    std::error_code error;
    const std::vector<Entry> entries = ReadEntries(folder, extension, error);
    if (error || entries.size() <= static_cast<std::size_t>(keep)) return;
    const std::size_t surplus = entries.size() - static_cast<std::size_t>(keep);
    for (std::size_t i = 0; i < surplus; ++i) fs::remove(entries[i].path, error);
}

}  // namespace

namespace revision_parts {

int CopyRevision(const fs::path& from, const fs::path& to) {
    const UniqueFd in(OpenFile(from, O_RDONLY | kOpenNonBlock | kOpenNoFollow));
    if (!in) return errno;
    UniqueFd out(OpenFile(to, O_WRONLY | O_CREAT | O_EXCL | kOpenNoFollow));
    if (!out) return errno;
    int error = ReadBlocks(in.get(), [&](std::string_view bytes) {
        return WriteAll(out.get(), bytes) ? 0 : errno;
    });
    if (error == 0) error = SyncFileData(out.get());
    if (const int closed = out.Close(); error == 0) error = closed;
    if (error == 0) {
        std::error_code timeError;
        const fs::file_time_type modified = fs::last_write_time(from, timeError);
        if (!timeError) fs::last_write_time(to, modified, timeError);
        if (timeError) error = timeError.value();
    }
    if (error != 0) {
        std::error_code ignored;
        fs::remove(to, ignored);
    }
    return error;
}

}  // namespace revision_parts

RevisionPolicy RevisionPolicyOf(std::int32_t keepRevisions, std::string_view source) {
    RevisionPolicy policy;
    policy.keep = keepRevisions < 0 ? kDefaultKeepRevisions : keepRevisions;
    policy.source = source.empty() ? std::string(kWexalRevisionSource) : std::string(source);
    return policy;
}

fs::path RevisionFolderOf(const fs::path& file) {
    const fs::path folder = file.has_parent_path() ? file.parent_path() : fs::path(".");
    return folder / Utf8Path(kRevisionFolderName) / file.filename();
}

bool IsRevisionFolderName(std::string_view name) { return name == kRevisionFolderName; }

Replacement ReplaceKeepingRevision(const fs::path& target, const fs::path& incoming,
                                   const RevisionPolicy& policy,
                                   const std::function<int()>& replace) {
    Replacement result;
    if (policy.keep <= 0) {
        result.error = replace();
        return result;
    }
    const fs::path folder = RevisionFolderOf(target);
    FileLock lock;
    // Even a new file is placed under the lock: a second writer of the same
    // name must find it there and keep it.
    result.refused = TakeLock(folder, lock);
    if (!result.refused.empty()) return result;

    const std::optional<FileStatus> current = StatPath(target, false);
    fs::path revision;
    if (current && current->type == FileStatus::Type::Regular && !SameContent(target, incoming)) {
        result.refused = Keep(target, folder, SafeFileStem(policy.source), revision);
        if (!result.refused.empty()) {
            ReleaseLock(folder, lock);
            return result;
        }
        result.revision = PathText(revision);
    }
    result.error = replace();
    std::error_code ignored;
    if (result.error != 0 && !revision.empty()) {
        fs::remove(revision, ignored);
        result.revision.clear();
    } else if (!revision.empty()) {
        RemoveBeyond(folder, ExtensionOf(target), policy.keep);
    }
    ReleaseLock(folder, lock);
    return result;
}

std::string RevisionRefusalText(std::string_view reason) {
    return "前の版を残せないため、置き換えませんでした。\n" + std::string(reason);
}

RevisionList ListRevisions(const fs::path& file) {
    RevisionList list;
    const fs::path folder = RevisionFolderOf(file);
    const std::optional<FileStatus> status = StatPath(folder.parent_path(), false);
    const std::optional<FileStatus> own = StatPath(folder, false);
    if (!status || !own) {
        if (errno != ENOENT && errno != ENOTDIR) list.error = SystemErrorText(errno);
        if (status && status->type != FileStatus::Type::Directory) list.error = kNotAFolder;
        return list;
    }
    if (status->type != FileStatus::Type::Directory || own->type != FileStatus::Type::Directory) {
        list.error = kNotAFolder;
        return list;
    }
    std::error_code error;
    std::vector<Entry> entries = ReadEntries(folder, ExtensionOf(file), error);
    if (error) {
        list.error = SystemErrorText(error.value());
        return list;
    }
    for (auto it = entries.rbegin(); it != entries.rend(); ++it) {
        Revision revision;
        revision.path = it->path;
        revision.timeMs = it->parsed.timeMs;
        revision.sequence = it->parsed.sequence;
        revision.source = std::move(it->parsed.source);
        const std::optional<FileStatus> info = StatPath(it->path, false);
        // Removed since the folder was read: it is no revision any more.
        if (!info && errno == ENOENT) continue;
        if (!info) {
            revision.problem = SystemErrorText(errno);
        } else if (info->type != FileStatus::Type::Regular) {
            revision.problem = "通常のファイルではありません。";
        } else {
            revision.size = info->size;
            const UniqueFd fd(OpenFile(it->path, O_RDONLY | kOpenNonBlock | kOpenNoFollow));
            if (!fd) revision.problem = SystemErrorText(errno);
        }
        list.revisions.push_back(std::move(revision));
    }
    return list;
}

std::string RevisionTimeText(std::int64_t timeMs) {
    const Civil c = CivilOf(timeMs);
    char text[40];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", c.year, c.month,
                  c.day, c.hour, c.minute, c.second, c.millisecond);
    return text;
}

Status RestoreRevision(const fs::path& file, const fs::path& revision,
                       const RevisionPolicy& policy, std::string* kept) {
    // A revision is never a link: one in the store is not followed.
    UniqueFd in;
    const FileLookup found = OpenRegularFile(revision, O_RDONLY, in, LinkMode::Replace);
    if (found.kind != FileLookup::Kind::Regular) {
        const std::string why = found.kind == FileLookup::Kind::Missing
                                    ? SystemErrorText(ENOENT)
                                    : found.reason;
        return Status::Error("版を読めません。\n" + PathText(revision) + "\n" + why);
    }
    AtomicFileWriter writer;
    if (Status opened = writer.Open(file); !opened) return opened;
    RevisionPolicy keepCurrent = policy;
    if (keepCurrent.keep <= 0) keepCurrent.keep = INT_MAX;
    writer.KeepRevisions(keepCurrent);
    Status written;
    const int error = ReadBlocks(in.get(), [&](std::string_view bytes) {
        written = writer.Write(bytes);
        return written ? 0 : -1;
    });
    if (error == -1) return written;
    if (error != 0) {
        return Status::Error("版を読めません。\n" + PathText(revision) + "\n" +
                             SystemErrorText(error));
    }
    Status committed = writer.Commit();
    if (committed && kept != nullptr) *kept = writer.KeptRevision();
    return committed;
}

}  // namespace wexal
