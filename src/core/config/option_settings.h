#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

#include "config/entry_field.h"
#include "config/settings.h"

namespace wexal {

// The options dialog TOptionForm: its fields, keys, the dirty state and the
// order in which its values are taken, for the window to carry out.

inline constexpr const char* kOptionCaption = "オプション設定";
inline constexpr const char* kOptionCloseQuestion =
    "オプション設定が変更されています。\n保存せずに終了しますか？";
inline constexpr const char* kOptionNumberError = "入力データを確認してください。";

inline constexpr int kOptionTabCount = 4;
inline constexpr std::array<const char*, kOptionTabCount> kOptionTabNames = {"通信全般", "受信",
                                                                             "送信", "その他"};
inline constexpr int kOptionFieldCount = 24;

using OptionValue = std::variant<std::string Settings::*, std::int32_t Settings::*>;

struct OptionFieldSpec {
    int tab;              // 0 to 3, as kOptionTabNames
    int tag;              // place in the focus ring of its tab, from 1
    const char* control;  // "LabeledEdit3"
    const char* caption;
    const char* allowed;  // empty: every character
    int maxLength;        // 0: free
    OptionValue value;
};
// In tab order, and within a tab in tag order.
const std::array<OptionFieldSpec, kOptionFieldCount>& OptionFieldSpecs();
// The index into OptionFieldSpecs of a control name, or nullopt.
std::optional<int> OptionFieldIndex(std::string_view control);
// Number of fields on a tab.
int OptionTabSize(int tab);
// The index of the field with that tag on that tab.
int OptionFieldAt(int tab, int tag);

// What a key does in a field: Enter on a non-empty field upper-cases it and
// moves on; Up and Down move in the tab's ring.
enum class OptionKeyAction { PassOn, Ignore, Next, Previous };
struct OptionKeyResult {
    OptionKeyAction action = OptionKeyAction::PassOn;
    bool upperCase = false;
};
OptionKeyResult OptionFieldKey(FieldKey key, bool fieldEmpty);

// What Take asks of the main window, at the moment the step needs it.
class OptionTakeHost {
public:
    virtual ~OptionTakeHost() = default;
    virtual void RefreshFileList(bool keepCursor) = 0;
    virtual void ApplyListColumns() = 0;
    virtual void StartIdleTimer() = 0;  // Timer1, one second
};

// The texts of the 24 fields and whether some were changed since they were
// filled or last taken.
class OptionEntries {
public:
    void Fill(const Settings& settings);
    void Edit(int index, std::string text);
    const std::string& Text(int index) const { return texts_.at(static_cast<std::size_t>(index)); }
    bool Dirty() const { return dirty_; }

    // Takes the values into settings in the dialog's order, calling the host
    // where the list must follow. A numeric field that is empty or no number
    // stops the take there: its index is returned, the steps before it stay
    // applied, the field keeps its old value and the entries stay dirty.
    std::optional<int> Take(Settings& settings, OptionTakeHost& host);

private:
    std::array<std::string, kOptionFieldCount> texts_;
    bool dirty_ = false;
};

// The box for a field that is not a number.
std::string OptionNumberErrorText(int index);

// Top-left of a dialog centred over the main window (halves toward zero).
struct Placement {
    int left;
    int top;
};
Placement CentreOver(int mainLeft, int mainTop, int mainWidth, int mainHeight, int width,
                     int height);

}  // namespace wexal
