#include "revisions/compare_programs.h"

#include <cerrno>

#include "platform/atomic_file.h"
#include "platform/error_text.h"
#include "platform/os_file.h"
#include "platform/text_lines.h"

namespace wexal {

ComparedProgram::ComparedProgram(std::string bytes)
    : bytes_(std::move(bytes)), lines_(SplitProgramLines(bytes_)) {}

ProgramToCompare ReadProgramToCompare(const std::filesystem::path& path) {
    FileContent content = ReadRegularFile(path, kMostCompareBytes);
    if (content.kind != FileLookup::Kind::Regular) {
        const std::string reason =
            content.reason.empty() ? SystemErrorText(ENOENT) : content.reason;
        return {nullptr, "ファイルを読み込めません。\n" + PathText(path) + "\n" + reason};
    }
    // Counted before the lines are split, which would take far more memory
    // than the bytes.
    if (CountLines(content.bytes) > kMostCompareLines) return {nullptr, kTooLongToCompare};
    return {std::make_shared<const ComparedProgram>(std::move(content.bytes)), {}};
}

CompareOutcome ComparePrograms(const std::filesystem::path& leftPath,
                               std::shared_ptr<const ComparedProgram> left,
                               const std::filesystem::path& rightPath,
                               std::shared_ptr<const ComparedProgram> right,
                               const CompareOptions& options, const std::function<bool()>& stop) {
    CompareOutcome outcome;
    const auto read = [&](const std::filesystem::path& path,
                          std::shared_ptr<const ComparedProgram>& program) {
        if (program) return true;
        if (stop && stop()) {
            outcome.comparison.error = kCompareStopped;
            return false;
        }
        ProgramToCompare got = ReadProgramToCompare(path);
        program = std::move(got.program);
        if (!program) {
            outcome.comparison.error = std::move(got.error);
            outcome.fileError = true;
        }
        return program != nullptr;
    };
    const bool both = read(leftPath, left) && read(rightPath, right);
    outcome.left = left;
    outcome.right = right;
    if (!both) return outcome;
    outcome.comparison = CompareLines(left->lines().text, right->lines().text, options, stop);
    if (!outcome.comparison.error.empty()) return outcome;
    outcome.rows = CompareRows(outcome.comparison);
    outcome.counts = CountChanges(outcome.comparison);
    return outcome;
}

}  // namespace wexal
