#pragma once

#include <string>

#include "config/settings.h"
#include "platform/message_service.h"
#include "serial/receive_engine.h"

namespace wexal {

// The save choice GroupBox4 before a receive.
inline constexpr const char* kSaveChoiceCaption = "データ保存";
inline constexpr const char* kSaveChoiceText =
    "受信ファイル名を付けて保存(Y)Ｏ（Ｌ）番号毎に保存　　　(N)　　　　　　　　 Ｅｓｃ：中止";
inline constexpr const char* kReceiveNamePrompt = "ファイル受信 受信ファイル名-->>>";
inline constexpr const char* kOperationAborted = "操作中止!!";

enum class SaveChoice {
    None,       // any other key: nothing happens
    Named,      // Y: the name entry in Edit1, InputMode "2"
    Automatic,  // N: ReceiveFile with ReceiveNamed false
    Cancel,     // Esc: "操作中止!!" in red, Timer1 1000 ms, list enabled, Edit1 disabled
};

// A key in Edit5: 'Y', 'N' (either case, as Edit5 upper-cases) or Esc (0x1B).
SaveChoice SaveChoiceForKey(char key);
// A press on Label27 at y within the label: up to rowHeight Y, up to twice
// that N, up to three times Esc; below them nothing.
SaveChoice SaveChoiceForLabelRow(int y, int rowHeight = 18);

// Enter in the name entry.
struct NameEntryOutcome {
    enum class Kind {
        Nothing,   // empty entry, or a name refused (told): the entry stays as it is
        KeepOpen,  // the existing file is not to be replaced: Edit1 open for another name
        Start,     // call ReceiveFile with request
    };
    Kind kind = Kind::Nothing;
    ReceiveRequest request;
};

// Forms the target from DirPath, the name and (unless ALL-Files is "Y") the
// extension of Mask, and asks before replacing an existing file. A name that
// holds a refused character (pasted, not typed) is refused with the typing
// message; "." and ".." name no file.
NameEntryOutcome ConfirmReceiveName(const std::string& name, const Settings& settings,
                                    MessageService& messages);

// "すでに<file>が有ります。\n上書きしますか？"
std::string OverwriteQuestion(const std::string& file);

}  // namespace wexal
