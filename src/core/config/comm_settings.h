#pragma once

#include <array>
#include <chrono>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "config/entry_field.h"
#include "config/settings.h"

namespace wexal {

// The communication settings panel GroupBox1: its fields, keys and rules,
// for the window to carry out.

inline constexpr const char* kCommInputError = "入力データを確認してください。";
inline constexpr const char* kCommCancelQuestion =
    "通信設定が変更されています。\n保存せずに終了しますか？";
inline constexpr const char* kCommCaption = "通信設定";
inline constexpr const char* kAbortedMessage = "操作中止!!";
inline constexpr const char* kCommFooter = " F1 :保存     F2 :戻る";

// Tags of the six fields, which are also their focus order.
enum CommTag : int {
    kSpeedTag = 1,  // ComboBox1
    kPortTag,       // ComboBox2
    kSignalTag,     // Edit4
    kStartCharTag,  // Edit6
    kEndCharTag,    // Edit9
    kCodeTag,       // Edit8
};
inline constexpr int kCommFieldCount = 6;

struct CommFieldSpec {
    int tag;
    const char* control;
    const char* caption;  // fixed caption above the field; empty for the two combo boxes
    const char* allowed;
    int maxLength;  // 0: free
};
const std::array<CommFieldSpec, kCommFieldCount>& CommFieldSpecs();
const CommFieldSpec& CommField(int tag);

// The 48 line-parameter items of ComboBox1, "1200,8,N,1" to "19200,7,O,2".
const std::vector<std::string>& SpeedItems();

// Captions of ComboBox1 and ComboBox2 with the values in force.
std::string SpeedCaption(const Settings& settings);
std::string PortCaption(const Settings& settings);
inline constexpr const char* kSpeedHint = "(速度,ﾃﾞｰﾀﾋﾞｯﾄ,ﾊﾟﾘﾃｨ,ｽﾄｯﾌﾟﾋﾞｯﾄ)";

// "COM1" to "COM30" for every number that probe accepts, in number order. Each
// probe gets perPort to answer; one that does not is left running on its own
// and its port is not listed, so a device whose open hangs cannot hang the
// caller. probe must own what it uses, as it may outlive this call.
using PortProbe = std::function<bool(int number)>;
std::vector<std::string> ListUsablePorts(const PortProbe& probe, std::chrono::milliseconds perPort);

// What a key does in a field of the panel.
enum class CommKeyAction {
    PassOn,        // the field handles it as ever
    Ignore,        // swallowed
    MoveFocus,     // focus the field with focusTag
    Apply,         // ApplyCommunicationSettings
    Cancel,        // CancelCommunicationSettings
    CloseWindow,   // close the main window
    OpenDropDown,  // open the combo box's list, then the field handles the key
};
struct CommKeyResult {
    CommKeyAction action = CommKeyAction::PassOn;
    int focusTag = 0;
    bool upperCase = false;       // upper-case the field's text first
    bool skipCompletion = false;  // the change the key causes is not completed
};
CommKeyResult CommPanelKey(int tag, FieldKey key, bool fieldEmpty);

// Completion while typing in a combo box: the text before the caret is looked
// up in the items without regard to letter case. Not found: the text becomes
// that prefix, caret at its end. Found: the text stays and what follows the
// caret is selected. Positions are byte offsets.
struct Completion {
    std::string text;
    std::size_t caret = 0;
    std::size_t selectionLength = 0;  // bytes selected from the caret on
};
Completion CompleteTyped(std::string_view text, std::size_t caret,
                         const std::vector<std::string>& items);

// The texts of the six fields.
struct CommFields {
    std::string speed;      // ComboBox1
    std::string port;       // ComboBox2
    std::string signal;     // Edit4
    std::string startChar;  // Edit6
    std::string endChar;    // Edit9
    std::string code;       // Edit8

    bool operator==(const CommFields&) const = default;
};
CommFields CommFieldsOf(const Settings& settings);
bool CommFieldsChanged(const CommFields& fields, const Settings& settings);

// F1: false (kCommInputError, nothing taken) when the line parameters are not
// 10 to 12 characters long; otherwise every non-empty field is taken upper-
// cased into settings, a port without "COM" getting it in front.
bool ApplyCommunicationSettings(const CommFields& fields, Settings& settings);

// A click on the footer Label14 at x pixels from its left edge.
FieldKey Label14ClickKey(int x);

}  // namespace wexal
