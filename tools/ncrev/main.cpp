// ncrev: lists the revisions Wexal kept of a program, puts one back, and
// compares two programs (see the usage text). list and restore end with 0 or
// 2, so that a script needs no more than one test; diff ends as diff(1) does.
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "config/ini_file.h"
#include "config/settings.h"
#include "config/settings_store.h"
#include "config/startup.h"
#include "platform/atomic_file.h"
#include "platform/error_text.h"
#include "platform/os_file.h"
#include "platform/server_process.h"
#include "revisions/compare_programs.h"
#include "revisions/program_diff.h"
#include "revisions/revision_store.h"

namespace {

namespace fs = std::filesystem;

constexpr int kDiffer = 1;
constexpr int kTrouble = 2;

constexpr const char* kUsage =
    "使い方: ncrev list ファイル\n"
    "        ncrev restore ファイル 版\n"
    "        ncrev diff [--ignore-blanks] [--ignore-n] [--ignore-case] ファイル1 ファイル2\n"
    "  Wexal がファイルを置き換える前に残した版 (.wexal-revisions) を扱います。\n"
    "  list     版を新しい順に 1 行に 1 つ、時刻 (UTC)、置き換えたもの、バイト数、パスを\n"
    "           タブで区切って出力する\n"
    "  restore  版の内容をファイルに戻す。今の内容は先に版として残り、そのパスを出力する。\n"
    "           版はパスか、ファイルの版のフォルダにある版の名前\n"
    "  diff     2 つのファイル (版もファイル) を行ごとに比べ、違いを diff -u の形で出力する。\n"
    "           行末 (CR LF、LF、CR) の違いは数えない。100万行まで\n"
    "    --ignore-blanks  空白とタブを無視する\n"
    "    --ignore-n       N ワード (シーケンス番号) を無視する\n"
    "    --ignore-case    英字の大文字と小文字を区別しない\n"
    "  終了コード: 0 成功 (diff は違いなし)、1 diff で違いあり、2 失敗\n";

int Usage(std::FILE* to, int status) {
    std::fputs(kUsage, to);
    return status;
}

int BadArgument(const std::string& why) {
    std::fprintf(stderr, "ncrev: %s\n", why.c_str());
    return Usage(stderr, kTrouble);
}

void Warn(const std::string& what, const std::string& why) {
    std::fprintf(stderr, "ncrev: %s: %s\n", what.c_str(), why.c_str());
}

// Standard output went where it was sent: 0, else said and kTrouble.
int Finish() {
    if (std::fflush(stdout) == 0 && !std::ferror(stdout)) return 0;
    std::fprintf(stderr, "ncrev: 出力を書き込めません。\n%s\n",
                 wexal::SystemErrorText(errno).c_str());
    return kTrouble;
}

void Print(const std::string& line) { std::fwrite(line.data(), 1, line.size(), stdout); }

// A revision that cannot be read is still listed, so that the operator sees
// it is there; its problem goes to standard error and the list succeeds.
int List(const fs::path& file) {
    const wexal::RevisionList list = wexal::ListRevisions(file);
    if (!list.error.empty()) {
        Warn(wexal::PathText(wexal::RevisionFolderOf(file)), list.error);
        return kTrouble;
    }
    for (const wexal::Revision& revision : list.revisions) {
        const std::string path = wexal::PathText(revision.path);
        Print(wexal::RevisionTimeText(revision.timeMs) + '\t' + revision.source + '\t' +
              std::to_string(revision.size) + '\t' + path + '\n');
        if (!revision.problem.empty()) Warn(path, revision.problem);
    }
    return Finish();
}

// KeepRevisions as the window reads it from the program folder's Wexal.INI,
// its default without one. Only read: a settings file is never written here.
std::int32_t KeepRevisionsSetting() {
    const wexal::ProgramFiles files = wexal::ProgramFiles::Locate();
    wexal::Status read;
    const wexal::IniFile ini = wexal::IniFile::Load(files.settings.mainIni, &read);
    wexal::Settings settings;
    if (!read) {
        std::fprintf(stderr, "ncrev: %s\n既定の設定 (KeepRevisions=%d) で続けます。\n",
                     read.message.c_str(), static_cast<int>(settings.KeepRevisions));
    }
    wexal::SettingsStore::ReadMain(ini, settings);
    return settings.KeepRevisions;
}

int Restore(const fs::path& file, const std::string& given) {
    fs::path revision = wexal::Utf8Path(given);
    // A bare name is one of the file's own revisions; ./NAME names a file here.
    if (!revision.has_parent_path()) revision = wexal::RevisionFolderOf(file) / revision;
    const wexal::RevisionPolicy policy = wexal::RevisionPolicyOf(KeepRevisionsSetting());
    std::string kept;
    const wexal::Status restored = wexal::RestoreRevision(file, revision, policy, &kept);
    if (!restored) {
        std::fprintf(stderr, "ncrev: %s\n", restored.message.c_str());
        return kTrouble;
    }
    if (!kept.empty()) Print(kept + '\n');
    return Finish();
}

// The program read as the window reads it for a comparison (only a regular
// file, so a FIFO or a device never blocks), or nothing with the reason said.
std::shared_ptr<const wexal::ComparedProgram> ReadProgram(const std::string& given) {
    wexal::ProgramToCompare read = wexal::ReadProgramToCompare(wexal::Utf8Path(given));
    if (read.error == wexal::kTooLongToCompare) {
        Warn(given, read.error);
    } else if (!read.error.empty()) {
        std::fprintf(stderr, "ncrev: %s\n", read.error.c_str());
    }
    return read.program;
}

int Diff(const std::string& aName, const std::string& bName, const wexal::CompareOptions& options) {
    // Both are read, so that both problems are said at once.
    const auto a = ReadProgram(aName);
    const auto b = ReadProgram(bName);
    if (!a || !b) return kTrouble;
    const wexal::Comparison comparison =
        wexal::CompareLines(a->lines().text, b->lines().text, options);
    if (!comparison.error.empty()) {
        std::fprintf(stderr, "ncrev: %s\n", comparison.error.c_str());
        return kTrouble;
    }
    Print(wexal::UnifiedDiff(a->lines(), b->lines(), comparison, aName, bName));
    const int finished = Finish();
    if (finished != 0) return finished;
    return comparison.equal() ? 0 : kDiffer;
}

// Through a link, the revisions are those of the program it leads to, where
// a write through the link keeps them.
fs::path Program(const fs::path& file) {
    const wexal::FileLookup found = wexal::LookUpFile(file);
    return found.kind == wexal::FileLookup::Kind::Regular ? found.target : file;
}

// "dir/", "." and ".." name no file whose revisions could be kept.
bool NamesAFile(const fs::path& file) {
    const fs::path name = file.filename();
    return !name.empty() && name != "." && name != "..";
}

}  // namespace

int main(int argc, char** argv) {
    wexal::PrepareConsoleOutput();
    const std::vector<std::string> args = wexal::Utf8Arguments(argc, argv);
    std::vector<std::string> words;
    std::string firstSwitch;
    wexal::CompareOptions options;
    for (const std::string& arg : args) {
        if (arg == "--help" || arg == "-h") return Usage(stdout, 0);
        // As ncpath: a file whose name starts with "-" is given as ./-NAME.
        if (arg.size() > 1 && arg.front() == '-') {
            bool* const option = arg == "--ignore-blanks" ? &options.ignoreBlanks
                                 : arg == "--ignore-n"    ? &options.ignoreN
                                 : arg == "--ignore-case" ? &options.ignoreCase
                                                          : nullptr;
            if (option == nullptr) return BadArgument("引数が正しくありません: " + arg);
            *option = true;
            if (firstSwitch.empty()) firstSwitch = arg;
            continue;
        }
        words.push_back(arg);
    }
    if (words.empty() && firstSwitch.empty()) return Usage(stderr, kTrouble);
    if (words.empty() || (words[0] != "diff" && !firstSwitch.empty())) {
        return BadArgument("引数が正しくありません: " + firstSwitch);
    }

    const std::string& command = words[0];
    const std::size_t wanted = command == "list"      ? 2
                               : command == "restore" ? 3
                               : command == "diff"    ? 3
                                                      : 0;
    if (wanted == 0) return BadArgument("引数が正しくありません: " + command);
    if (words.size() != wanted) return BadArgument("引数の数が正しくありません。");
    if (command == "diff") return Diff(words[1], words[2], options);
    const fs::path file = wexal::Utf8Path(words[1]);
    if (!NamesAFile(file)) return BadArgument("ファイルを指定してください: " + words[1]);
    return wanted == 2 ? List(Program(file)) : Restore(Program(file), words[2]);
}
