// One run of an NC tool on files, for bench/core/nctools_vs_coreutils.sh: the
// time and peak memory of the process are the tool's.
//   nctools_run make FILE MB PROGRAMS   a program file of about MB megabytes
//   nctools_run split FILE FOLDER       one file per program into FOLDER
//   nctools_run double FILE OUTPUT      X doubled throughout
//   nctools_run join FOLDER OUTPUT NAME...
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "nctools/axis_double.h"
#include "nctools/concatenate.h"
#include "nctools/split_programs.h"
#include "platform/path_rules.h"

namespace {

using namespace wexal;

class NoQuestions : public MessageService {
public:
    bool AskYesNo(const std::string&, const std::string&, MessageIcon) override { return true; }
    bool AskOkCancel(const std::string&, const std::string&, MessageIcon) override { return true; }
    void Tell(const std::string& text, const std::string&, MessageIcon) override {
        std::fprintf(stderr, "%s\n", text.c_str());
    }
};

int Make(const std::string& file, long megabytes, long programs) {
    std::ofstream out(file, std::ios::binary);
    const long perProgram = megabytes * 1'000'000 / programs;
    for (long p = 1; p <= programs; ++p) {
        std::string text = "O" + std::to_string(1000 + p) + "(PART " + std::to_string(p) + ")\r\n";
        text += "G90G54G00X0Y0\r\nS1200M03\r\n";
        for (long line = 0; static_cast<long>(text.size()) < perProgram; ++line) {
            text += "G01X" + std::to_string(line % 500) + "." + std::to_string(line % 1000) +
                    "Y-" + std::to_string(line % 300) + ".25F" + std::to_string(100 + line % 50) +
                    "\r\n";
        }
        text += "M30\r\n";
        out << text;
    }
    return out ? 0 : 1;
}

int Report(const ToolResult& result) {
    if (result.outcome == ToolOutcome::Done) return 0;
    std::fprintf(stderr, "%s\n", result.message.c_str());
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() == 4 && args[0] == "make") {
        return Make(args[1], std::atol(args[2].c_str()), std::atol(args[3].c_str()));
    }
    NoQuestions messages;
    if (args.size() == 3 && args[0] == "split") {
        return Report(SplitIntoFolder(args[1], {}, ".NC", args[2], messages));
    }
    if (args.size() == 3 && args[0] == "double") {
        return Report(DoubleAxisIntoFile('X', PathRules::Parent(args[2]), PathRules::FileName(args[1]),
                                         PathRules::FileName(args[2]), messages));
    }
    if (args.size() >= 4 && args[0] == "join") {
        const std::vector<std::string> names(args.begin() + 3, args.end());
        return Report(JoinFiles(args[1], names, args[2], messages));
    }
    std::fprintf(stderr, "usage: see the head of nctools_run.cpp\n");
    return 2;
}
