#include "nctools/split_programs.h"

#include <charconv>
#include <optional>
#include <set>

#include "config/ini_file.h"
#include "programs/program_stream.h"
#include "programs/program_names.h"
#include "nctools/same_file.h"
#include "platform/atomic_file.h"
#include "platform/text_lines.h"

namespace wexal {

namespace {

constexpr std::string_view kSection = "Sub";

bool ReadFlag(const IniFile& ini, std::string_view key) {
    const std::optional<std::string> value = ini.Read(kSection, key);
    if (!value) return false;
    long number = 0;
    const char* first = value->data();
    const char* last = first + value->size();
    if (first != last && *first == '+') ++first;
    const auto [end, error] = std::from_chars(first, last, number);
    return error == std::errc() && end == last && number != 0;
}

void AddLine(std::string& buffer, std::string_view line) {
    buffer += line;
    buffer += "\r\n";
}

}  // namespace

SplitOptions LoadSplitOptions(const std::filesystem::path& path) {
    const IniFile ini = IniFile::Load(path);
    return {ReadFlag(ini, "F_Set"), ReadFlag(ini, "B_Set"), ReadFlag(ini, "N_Set")};
}

Status SaveSplitOptions(const std::filesystem::path& path, const SplitOptions& options) {
    IniFile ini = IniFile::Load(path);
    ini.Write(kSection, "F_Set", options.F_Set ? "1" : "0");
    ini.Write(kSection, "B_Set", options.B_Set ? "1" : "0");
    ini.Write(kSection, "N_Set", options.N_Set ? "1" : "0");
    return ini.Save(path);
}

SplitRun::SplitRun(const SplitOptions& options, std::string_view extension, SplitSink& sink,
                   const ProgramFound& found, ToolProgress* progress)
    : options_(options), extension_(extension), sink_(sink), found_(found), progress_(progress) {}

bool SplitRun::Fail(const Status& status) {
    result_ = {ToolOutcome::Failed, status.message, result_.count};
    stopped_ = true;
    return false;
}

bool SplitRun::Line(std::string_view line) {
    if (stopped_) return false;
    ++index_;
    if (IsProgramNumberLine(line)) {
        if (found_) found_(line, result_.count);
        if (result_.count > 0) {
            if (options_.B_Set) {
                if (Status added = sink_.Add("%\r\n"); !added) return Fail(added);
            }
            if (Status ended = sink_.End(); !ended) return Fail(ended);
        }
        const int serial = options_.N_Set ? result_.count + 1 : 0;
        if (Status begun = sink_.Begin(ProgramFileName(line, serial, extension_)); !begun) {
            return Fail(begun);
        }
        if (!ahead_.empty()) {
            if (Status added = sink_.Add(ahead_); !added) return Fail(added);
            std::string().swap(ahead_);
        }
        if (options_.F_Set) {
            if (Status added = sink_.Add("%\r\n"); !added) return Fail(added);
        }
        ++result_.count;
    }
    if (line.empty() || line[0] != '%') {
        if (result_.count == 0) {
            AddLine(ahead_, line);
        } else {
            Status added = sink_.Add(line);
            if (added) added = sink_.Add("\r\n");
            if (!added) return Fail(added);
        }
    }
    if (progress_ != nullptr && index_ % kProgressEvery == 0 && !progress_->Step(index_)) {
        result_.outcome = ToolOutcome::Cancelled;
        stopped_ = true;
        return false;
    }
    return true;
}

ToolResult SplitRun::Finish() {
    if (stopped_) return result_;
    if (progress_ != nullptr && index_ % kProgressEvery != 0 && !progress_->Step(index_)) {
        return {ToolOutcome::Cancelled, {}, result_.count};
    }
    if (result_.count == 0) return {ToolOutcome::NothingFound, {}, 0};
    if (options_.B_Set) {
        if (Status added = sink_.Add("%\r\n"); !added) Fail(added);
    }
    if (!stopped_) {
        if (Status ended = sink_.End(); !ended) Fail(ended);
    }
    return result_;
}

namespace {

// Each file gathered whole and handed to a SplitWrite.
class WholeFiles : public SplitSink {
public:
    explicit WholeFiles(const SplitWrite& write) : write_(write) {}
    Status Begin(const std::string& name) override {
        name_ = name;
        bytes_.clear();
        return Status::Ok();
    }
    Status Add(std::string_view bytes) override {
        bytes_ += bytes;
        return Status::Ok();
    }
    Status End() override { return write_(name_, bytes_); }

private:
    const SplitWrite& write_;
    std::string name_;
    std::string bytes_;
};

// Each file written through a temporary name as its lines come.
class FolderFiles : public SplitSink {
public:
    FolderFiles(const std::filesystem::path& folder, const RevisionPolicy& revisions)
        : folder_(folder), revisions_(revisions) {}
    Status Begin(const std::string& name) override {
        writer_.emplace();
        writer_->KeepRevisions(revisions_);
        return writer_->Open(folder_ / name, LinkMode::Replace);
    }
    Status Add(std::string_view bytes) override { return writer_->Write(bytes); }
    Status End() override {
        const Status committed = writer_->Commit();
        writer_.reset();
        return committed;
    }

private:
    const std::filesystem::path& folder_;
    const RevisionPolicy& revisions_;
    std::optional<AtomicFileWriter> writer_;
};

// The names in folder under which the source itself stands (itself, a hard
// link, a symbolic link to it): a split must never write to one of them.
std::set<std::string> NamesOfSource(const std::filesystem::path& folder,
                                    const std::filesystem::path& source) {
    std::set<std::string> names;
    std::error_code error;
    for (std::filesystem::directory_iterator it(folder, error), end; !error && it != end;
         it.increment(error)) {
        if (IsSameFile(it->path(), source)) names.insert(it->path().filename().string());
    }
    return names;
}

}  // namespace

ToolResult SplitPrograms(std::string_view text, const SplitOptions& options,
                         std::string_view extension, const SplitWrite& write,
                         const ProgramFound& found, ToolProgress* progress) {
    WholeFiles files(write);
    SplitRun run(options, extension, files, found, progress);
    ForEachLine(text, [&](std::string_view line) { return run.Line(line); });
    return run.Finish();
}

std::vector<std::string> SplitFileNames(std::string_view text, const SplitOptions& options,
                                        std::string_view extension) {
    std::vector<std::string> names;
    ForEachLine(text, [&](std::string_view line) {
        if (IsProgramNumberLine(line)) {
            const int serial = options.N_Set ? static_cast<int>(names.size()) + 1 : 0;
            names.push_back(ProgramFileName(line, serial, extension));
        }
        return true;
    });
    return names;
}

ToolResult SplitIntoFolder(const std::filesystem::path& source, const SplitOptions& options,
                           std::string_view extension, const std::filesystem::path& folder,
                           MessageService& messages, const ProgramFound& found,
                           ToolProgress* progress, const RevisionPolicy& revisions) {
    ProgramStream stream(source, messages);
    if (!stream.problem().empty()) {
        return {ToolOutcome::Failed,
                "ファイルを読み込めません。\n" + source.string() + "\n" + stream.problem(), 0};
    }
    // Only where the source stands in the destination must its programs'
    // names be known before anything is written.
    if (const std::set<std::string> taken = NamesOfSource(folder, source); !taken.empty()) {
        std::string clash;
        int count = 0;
        LineCutter lines;
        const auto check = [&](std::string_view line) {
            if (!IsProgramNumberLine(line)) return true;
            const std::string name =
                ProgramFileName(line, options.N_Set ? ++count : 0, extension);
            if (taken.count(name) != 0) clash = name;
            return clash.empty();
        };
        const Status read = stream.ReadText(
            [&](std::string_view chunk) { return lines.Feed(chunk, check); });
        if (!read) return {ToolOutcome::Failed, read.message, 0};
        if (clash.empty()) lines.Finish(check);
        if (!clash.empty()) {
            return {ToolOutcome::Refused,
                    "分割後のﾌｧｲﾙが分割元のﾌｧｲﾙと同じになります。\n" + (folder / clash).string(),
                    0};
        }
    }
    FolderFiles files(folder, revisions);
    SplitRun run(options, extension, files, found, progress);
    LineCutter lines;
    const auto line = [&](std::string_view text) { return run.Line(text); };
    const Status read = stream.ReadText([&](std::string_view chunk) {
        if (progress != nullptr) progress->Reached(stream.done(), stream.size());
        return lines.Feed(chunk, line);
    });
    // The program being written when the read failed is dropped unfinished.
    if (!read) return {ToolOutcome::Failed, read.message, run.count()};
    lines.Finish(line);
    return run.Finish();
}

}  // namespace wexal
