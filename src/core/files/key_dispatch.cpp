#include "files/key_dispatch.h"

#include <algorithm>
#include <utility>

#include "programs/program_names.h"
#include "platform/path_rules.h"

namespace wexal {

const char* const kNormalHelpLine =
    " F1 :ﾌｧｲﾙ送信　　 F2 :ﾌｧｲﾙ受信     F3 :ﾌｧｲﾙ削除     F4 :ﾌｧｲﾙｺﾋﾟｰ     F5 :ﾃﾞｨﾚｸﾄﾘ切換・作成\n"
    " F6 :拡張子変更   F7 :通信設定     F8 :ﾌｧｲﾙﾋﾞｭｰ     F9 :関連ｱﾌﾟﾘ起動 F10:終了";
const char* const kShiftHelpLine =
    " F1 :ﾌｧｲﾙ送信+終了F2 :ﾌｧｲﾙ受信+終了F3 :ﾌｧｲﾙ移動     F4 :ﾌｧｲﾙ結合     F5 :ﾌｫﾙﾀﾞｰ表示       \n"
    " F6 :             F7 :             F8 :送受信ログ   F9 :ﾌｧｲﾙ分割     F10:終了";
const char* const kShiftSpaceEscHelp =
    " Shiftでｻﾌﾞﾒﾆｭｰ表示  　　　　　　               　  SP :ﾌｧｲﾙﾘｽﾄ更新  ESC:操作中止";
const char* const kLetterCommandHelp =
    " B:ﾌｧｲﾙ分割\n C:ﾌｧｲﾙｺﾋﾟｰ\n D:ﾌｧｲﾙ削除\n E:ｴﾃﾞｨﾀ起動\n G:ｴﾃﾞｨﾀ設定\n F:ﾌｧｲﾙ検索\n"
    " H:指定軸2倍\n I:ﾌｧｲﾙ情報\n K:ﾌｧｲﾙ結合\n L:ﾄﾞﾗｲﾌﾞ切換\n M:ﾌｧｲﾙ移動\n O:ｵﾌﾟｼｮﾝ設定\n"
    " P:ﾂｰﾙﾊﾟｽ表示\n"
    " R:ﾌｧｲﾙ名変更\n S:ﾌｧｲﾙｿｰﾄ\n V:ﾌｧｲﾙﾋﾞｭｰ\n X:関連付け起動\n Y:外部ｱﾌﾟﾘ設定\n"
    "---------------\n T:先頭に移動\n Z:末尾に移動\n";

namespace {

ListCommand MapLetter(char letter) {
    switch (letter) {
        case 'B':
            return ListCommand::Split;
        case 'C':
            return ListCommand::Copy;
        case 'D':
            return ListCommand::Delete;
        case 'E':
            return ListCommand::Editor;
        case 'F':
            return ListCommand::Find;
        case 'G':
            return ListCommand::EditorSettings;
        case 'H':
            return ListCommand::AxisDouble;
        case 'I':
            return ListCommand::FileInfo;
        case 'K':
            return ListCommand::Join;
        case 'L':
            return ListCommand::DriveMenu;
        case 'M':
            return ListCommand::Move;
        case 'O':
            return ListCommand::Options;
        case 'P':
            return ListCommand::Plot;
        case 'R':
            return ListCommand::Rename;
        case 'S':
            return ListCommand::SortType;
        case 'T':
            return ListCommand::ToTop;
        case 'U':
            return ListCommand::Revisions;
        case 'V':
            return ListCommand::View;
        case 'W':
            return ListCommand::Compare;
        case 'X':
            return ListCommand::OpenAssociated;
        case 'Y':
            return ListCommand::ExtAppSettings;
        case 'Z':
            return ListCommand::ToBottom;
        default:
            return ListCommand::None;
    }
}

}  // namespace

ListCommand MapListKey(ListKey key, char letter, bool shift) {
    switch (key) {
        case ListKey::Letter:
            return MapLetter(letter);
        case ListKey::Escape:
            return ListCommand::Abort;
        case ListKey::Space:
            return ListCommand::Refresh;
        case ListKey::PageUp:
            return ListCommand::PageUp;
        case ListKey::PageDown:
            return ListCommand::PageDown;
        case ListKey::Home:
            return ListCommand::MarkFromCursor;
        case ListKey::End:
            return ListCommand::UnmarkAll;
        case ListKey::F1:
            return ListCommand::Send;
        case ListKey::F2:
            return ListCommand::Receive;
        case ListKey::F3:
            return shift ? ListCommand::Move : ListCommand::Delete;
        case ListKey::F4:
            return shift ? ListCommand::Join : ListCommand::Copy;
        case ListKey::F5:
            return shift ? ListCommand::FolderBrowse : ListCommand::FolderEntry;
        case ListKey::F6:
            return shift ? ListCommand::None : ListCommand::Extension;
        case ListKey::F7:
            return shift ? ListCommand::None : ListCommand::CommSettings;
        case ListKey::F8:
            return shift ? ListCommand::TransferLog : ListCommand::View;
        case ListKey::F9:
            return shift ? ListCommand::Split : ListCommand::OpenAssociated;
        case ListKey::F10:
            return ListCommand::Exit;
        case ListKey::Separator:
            return ListCommand::DriveMenu;
        case ListKey::Enter:
        case ListKey::Up:
        case ListKey::Down:
        case ListKey::Left:
        case ListKey::Right:
        case ListKey::Other:
            break;
    }
    return ListCommand::None;
}

std::optional<int> ArrowKeyRow(ListKey key, int cursor, int rowsPerColumn, int rowCount) {
    int step = 0;
    switch (key) {
        case ListKey::Up:
            step = -1;
            break;
        case ListKey::Down:
            step = 1;
            break;
        case ListKey::Left:
            step = -std::max(rowsPerColumn, 1);
            break;
        case ListKey::Right:
            step = std::max(rowsPerColumn, 1);
            break;
        default:
            return std::nullopt;
    }
    const int target = cursor + step;
    return target >= 0 && target < rowCount ? target : cursor;
}

}  // namespace wexal

namespace wexal {

HelpLineHit MapHelpLineClick(int x, int y) {
    static const int kBandEnds[] = {144, 279, 414, 549, 745};
    static const ListKey kUpper[] = {ListKey::F1, ListKey::F2, ListKey::F3, ListKey::F4,
                                     ListKey::F5};
    static const ListKey kLower[] = {ListKey::F6, ListKey::F7, ListKey::F8, ListKey::F9};
    if (x < 0) return {};
    for (int band = 0; band < 5; ++band) {
        if (x > kBandEnds[band]) continue;
        if (y <= 16) return {kUpper[band], false};
        if (band == 4) return {ListKey::Other, true};
        return {kLower[band], false};
    }
    return {};
}

}  // namespace wexal

namespace wexal {

namespace {

constexpr const char* kSelectOneFile = "ﾌｧｲﾙを選択して下さい。\n(複数のﾌｧｲﾙ選択は不可です。)";
constexpr const char* kNotSeveralFiles = "選択されたﾌｧｲﾙが複数ありません。";
constexpr const char* kNoRowToDelete = "ファイルを選択してください。!!";
constexpr const char* kMarkTwoToCompare = "比較するファイルを２つマークしてください。";

CommandCheck Gate(CommandGate gate) {
    CommandCheck check;
    check.gate = gate;
    return check;
}

}  // namespace

CommandCheck CheckCommand(ListCommand command, RowKind row, int markedCount, bool shift) {
    const bool marked = markedCount > 0;
    const bool onFile = row == RowKind::File;
    CommandCheck check;
    switch (command) {
        case ListCommand::None:
            return Gate(CommandGate::Nothing);
        case ListCommand::Split:
        case ListCommand::AxisDouble:
        case ListCommand::OpenAssociated:
        case ListCommand::View:
        case ListCommand::Plot:
        case ListCommand::Revisions:
            if (!onFile) return Gate(CommandGate::Nothing);
            break;
        case ListCommand::Editor:
            // The editor takes exactly the cursor file; marks do not count.
            if (!onFile) {
                check.gate = CommandGate::MessageBox;
                check.box = {kSelectOneFile, kInputErrorCaption, MessageIcon::Error};
            }
            break;
        case ListCommand::FileInfo:
            if (row != RowKind::Folder && row != RowKind::File) return Gate(CommandGate::Nothing);
            break;
        case ListCommand::Compare:
            // Marks win over the cursor row; a comparison takes exactly two.
            if (markedCount == 2) {
                check.onMarkedFiles = true;
            } else if (marked) {
                check.gate = CommandGate::MessageBox;
                check.box = {kMarkTwoToCompare, kInputErrorCaption, MessageIcon::Error};
            } else if (!onFile) {
                return Gate(CommandGate::Nothing);
            }
            break;
        case ListCommand::Join:
            if (!marked) return Gate(CommandGate::Nothing);
            check.onMarkedFiles = true;
            break;
        case ListCommand::Copy:
        case ListCommand::Move:
            // Marks win over the cursor row, even on the parent row.
            if (marked) {
                check.onMarkedFiles = true;
            } else if (row == RowKind::None || row == RowKind::Parent) {
                return Gate(CommandGate::Nothing);
            }
            break;
        case ListCommand::Delete:
            if (row == RowKind::None) {
                check.gate = CommandGate::MessageLine;
                check.line = kNoRowToDelete;
            } else if (marked) {
                check.onMarkedFiles = true;
            } else if (row == RowKind::Parent) {
                return Gate(CommandGate::Nothing);
            }
            break;
        case ListCommand::Rename:
            if (row == RowKind::None || row == RowKind::Parent) return Gate(CommandGate::Nothing);
            check.onMarkedFiles = marked;
            break;
        case ListCommand::Send:
            // A folder row stops the send even when files are marked.
            if (!onFile) return Gate(CommandGate::Nothing);
            check.onMarkedFiles = marked;
            check.exitAfterTransfer = shift;
            break;
        case ListCommand::Receive:
            check.exitAfterTransfer = shift;
            break;
        default:
            break;
    }
    return check;
}

std::optional<BoxMessage> JoinRefusal(int collectedCount) {
    if (collectedCount > 1) return std::nullopt;
    return BoxMessage{kNotSeveralFiles, kInputErrorCaption, MessageIcon::Error};
}

std::string ProposeDoubledName(std::string_view fileName, std::string_view mask) {
    const std::string extension = PathRules::Extension(fileName);
    return std::string(fileName.substr(0, fileName.size() - extension.size())) + "_2" +
           MaskExtension(mask);
}

ListEnter DecideListEnter(std::string_view dirPath, RowKind row, std::string_view folderName) {
    switch (row) {
        case RowKind::Parent: {
            // A folder value without any separator has nowhere to go up to.
            std::string parent = PathRules::Parent(dirPath);
            if (parent.empty()) return {};
            return {ListEnterAction::ChangeFolder, std::move(parent)};
        }
        case RowKind::Folder:
            if (folderName.empty()) return {};
            return {ListEnterAction::ChangeFolder, PathRules::Join(dirPath, folderName)};
        case RowKind::File:
            return {ListEnterAction::ToggleMark, {}};
        case RowKind::None:
            break;
    }
    return {};
}

}  // namespace wexal
