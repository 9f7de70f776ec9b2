#include "serial/receive_choice.h"

#include "programs/program_names.h"

#include <sys/stat.h>

#include "config/char_rules.h"
#include "platform/path_rules.h"
#include "serial/received_data.h"

namespace wexal {

SaveChoice SaveChoiceForKey(char key) {
    switch (key) {
        case 'Y':
        case 'y':
            return SaveChoice::Named;
        case 'N':
        case 'n':
            return SaveChoice::Automatic;
        case 0x1B:
            return SaveChoice::Cancel;
        default:
            return SaveChoice::None;
    }
}

SaveChoice SaveChoiceForLabelRow(int y, int rowHeight) {
    // 0 to 18 is the first row, 19 to 36 the second, 37 to 54 the third.
    if (y < 0 || rowHeight <= 0) return SaveChoice::None;
    if (y <= rowHeight) return SaveChoice::Named;
    if (y <= 2 * rowHeight) return SaveChoice::Automatic;
    if (y <= 3 * rowHeight) return SaveChoice::Cancel;
    return SaveChoice::None;
}

std::string OverwriteQuestion(const std::string& file) {
    return "すでに" + file + "が有ります。\n上書きしますか？";
}

NameEntryOutcome ConfirmReceiveName(const std::string& name, const Settings& settings,
                                    MessageService& messages) {
    NameEntryOutcome outcome;
    if (name.empty()) return outcome;
    const CharRule rule = FileNameCharRule(settings.AllFiles);
    bool refused = name == "." || name == "..";
    for (const unsigned char c : name) refused = refused || !IsCharPermitted(c, rule.forbidden);
    if (refused) {
        messages.Tell(std::string(rule.message), kInputErrorCaption, MessageIcon::Error);
        return outcome;
    }
    const std::string fileName =
        settings.AllFiles == "Y" ? name : name + MaskExtension(settings.Mask);
    const std::string target = PathRules::Join(settings.DirPath, fileName);
    struct stat info {};
    if (::stat(target.c_str(), &info) == 0) {
        const bool replace = messages.AskYesNo(
            OverwriteQuestion(target), DefaultCaption(MessageIcon::Warning), MessageIcon::Warning);
        // An answer given for a program that is ending is nobody's choice.
        if (!replace || messages.Interrupted()) {
            outcome.kind = NameEntryOutcome::Kind::KeepOpen;
            return outcome;
        }
    }
    outcome.kind = NameEntryOutcome::Kind::Start;
    outcome.request.named = true;
    outcome.request.target = target;
    outcome.request.displayName = fileName;
    return outcome;
}

}  // namespace wexal
