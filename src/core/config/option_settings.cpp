#include "config/option_settings.h"

namespace wexal {

namespace {

constexpr const char* kYesNo = "YNyn";

// Fields whose change redraws the list as soon as it is taken.
constexpr int kAllFilesEdit = 2;
constexpr int kListColumnEdit = 5;
constexpr int kUpperCaseEdit = 21;
constexpr int kLongNameEdit = 22;

std::string ControlName(int number) { return "LabeledEdit" + std::to_string(number); }

}  // namespace

const std::array<OptionFieldSpec, kOptionFieldCount>& OptionFieldSpecs() {
    static const std::array<OptionFieldSpec, kOptionFieldCount> definitions = {{
        {0, 1, "LabeledEdit3", "ＤＲ信号を常にON(Y/N)", kYesNo, 1, &Settings::op1},
        {0, 2, "LabeledEdit6", "DC3を0x93にする(Y/N)", kYesNo, 1, &Settings::DC3_0x93},
        {0, 3, "LabeledEdit7", "o番号毎に分割時連番をつける(Y/N)", kYesNo, 1, &Settings::Add_No},
        {0, 4, "LabeledEdit18", "ﾓﾃﾞﾑﾎﾟｰﾄ番号１(例:COM1)", "COMcom0123456789", 5,
         &Settings::ModemePort1},
        {0, 5, "LabeledEdit19", "ﾓﾃﾞﾑﾎﾟｰﾄ番号２(例:COM12)", "COMcom0123456789", 5,
         &Settings::ModemePort2},
        {0, 6, "LabeledEdit14", "自動ﾎﾟｰﾄ切替(Y/N)", kYesNo, 1, &Settings::AutoSelect},
        {0, 7, "LabeledEdit10", "送受信完了後、ＰＣ電源断(Y/N)", kYesNo, 1, &Settings::Power_Off},
        {0, 8, "LabeledEdit24", "DSR信号を併用する(Y/N)", kYesNo, 1, &Settings::op6},
        {1, 1, "LabeledEdit1", "受信時Ｏ→：に変換(Y/N)", kYesNo, 1, &Settings::OColonChange},
        {1, 2, "LabeledEdit23", "受信中止でもﾃﾞｰﾀ保存(Y/N)", kYesNo, 1, &Settings::op5},
        {1, 3, "LabeledEdit12", "受信時、ﾜｰﾄﾞ毎にｽﾍﾟｰｽをつけない(Y/N)", kYesNo, 1,
         &Settings::Read_SP_Cut},
        {1, 4, "LabeledEdit15", "受信 0:自動判別 1:ISO 2:EIA 3:ASCII", "0123", 1,
         &Settings::R_Code},
        {2, 1, "LabeledEdit4", "ｳｪｲﾄﾀｲﾑ(msec)", "1234567890", 3, &Settings::InvTime},
        {2, 2, "LabeledEdit13", "送信時、前処理(0-2)", "0123", 1, &Settings::Send_Before},
        {2, 3, "LabeledEdit8", "ｽﾀｰﾄｷｬﾗﾀｲﾌﾟ(1-5)", "12345", 1, &Settings::StartChar_Type},
        {2, 4, "LabeledEdit9", "ｴﾝﾄﾞｷｬﾗﾀｲﾌﾟ(1-4)", "1234", 1, &Settings::EndChar_Type},
        {2, 5, "LabeledEdit11", "送信時、ｽﾍﾟｰｽは送らない(Y/N)", kYesNo, 1, &Settings::Send_SP_Cut},
        {2, 6, "LabeledEdit16", "送信時、送信しない文字列", "", 0, &Settings::SendMsg1},
        {2, 7, "LabeledEdit17", "注釈(；か’)以降も送信(Y/N)", kYesNo, 1, &Settings::MSG_OP},
        {2, 8, "LabeledEdit20", "ＮＣからの中止信号は無効(Y/N)", kYesNo, 1, &Settings::op2},
        {3, 1, "LabeledEdit2", "ﾌｧｲﾙをすべて表示(Y/N)", kYesNo, 1, &Settings::AllFiles},
        {3, 2, "LabeledEdit5", "ﾌｧｲﾙ表示列数(1-5)", "12345", 1, &Settings::ListColumn},
        {3, 3, "LabeledEdit21", "ﾘｽﾄ大文字表示 (Y/N)", kYesNo, 1, &Settings::op3},
        {3, 4, "LabeledEdit22", "ﾛﾝｸﾞﾌｧｲﾙ名で表示(Y/N)", kYesNo, 1, &Settings::op4},
    }};
    return definitions;
}

std::optional<int> OptionFieldIndex(std::string_view control) {
    const auto& definitions = OptionFieldSpecs();
    for (int i = 0; i < kOptionFieldCount; ++i) {
        if (definitions[static_cast<std::size_t>(i)].control == control) return i;
    }
    return std::nullopt;
}

int OptionTabSize(int tab) {
    int count = 0;
    for (const auto& definition : OptionFieldSpecs()) count += definition.tab == tab ? 1 : 0;
    return count;
}

int OptionFieldAt(int tab, int tag) {
    const auto& definitions = OptionFieldSpecs();
    for (int i = 0; i < kOptionFieldCount; ++i) {
        const auto& definition = definitions[static_cast<std::size_t>(i)];
        if (definition.tab == tab && definition.tag == tag) return i;
    }
    return -1;
}

OptionKeyResult OptionFieldKey(FieldKey key, bool fieldEmpty) {
    switch (key) {
        case FieldKey::Enter:
            if (fieldEmpty) return {OptionKeyAction::Ignore};
            return {OptionKeyAction::Next, true};
        case FieldKey::Down:
            return {OptionKeyAction::Next};
        case FieldKey::Up:
            return {OptionKeyAction::Previous};
        default:
            return {OptionKeyAction::PassOn};
    }
}

void OptionEntries::Fill(const Settings& settings) {
    const auto& definitions = OptionFieldSpecs();
    for (std::size_t i = 0; i < definitions.size(); ++i) {
        if (const auto* text = std::get_if<std::string Settings::*>(&definitions[i].value)) {
            texts_[i] = settings.**text;
        } else {
            texts_[i] =
                std::to_string(settings.*std::get<std::int32_t Settings::*>(definitions[i].value));
        }
    }
    dirty_ = false;
}

void OptionEntries::Edit(int index, std::string text) {
    texts_.at(static_cast<std::size_t>(index)) = std::move(text);
    dirty_ = true;
}

// The fields are taken in the order of their control numbers, LabeledEdit1
// to LabeledEdit24, which is the order the list redraws expect.
std::optional<int> OptionEntries::Take(Settings& settings, OptionTakeHost& host) {
    const auto& definitions = OptionFieldSpecs();
    for (int number = 1; number <= kOptionFieldCount; ++number) {
        const int index = *OptionFieldIndex(ControlName(number));
        const OptionValue& value = definitions[static_cast<std::size_t>(index)].value;
        const std::string& text = texts_[static_cast<std::size_t>(index)];
        if (const auto* field = std::get_if<std::string Settings::*>(&value)) {
            const bool redraws =
                number == kAllFilesEdit || number == kUpperCaseEdit || number == kLongNameEdit;
            if (redraws && settings.**field == text) continue;
            settings.** field = text;
            if (number == kAllFilesEdit) {
                host.RefreshFileList(true);
                host.StartIdleTimer();
            } else if (redraws) {
                host.RefreshFileList(false);
            }
            continue;
        }
        const std::optional<int> read = ReadFieldNumber(text);
        if (!read) return index;
        std::int32_t& target = settings.*std::get<std::int32_t Settings::*>(value);
        if (number == kListColumnEdit) {
            if (*read == target) continue;
            target = *read;
            host.ApplyListColumns();
            host.RefreshFileList(true);
            host.StartIdleTimer();
            continue;
        }
        target = *read;
    }
    dirty_ = false;
    return std::nullopt;
}

std::string OptionNumberErrorText(int index) {
    return std::string(kOptionNumberError) + "\n" +
           OptionFieldSpecs().at(static_cast<std::size_t>(index)).caption;
}

Placement CentreOver(int mainLeft, int mainTop, int mainWidth, int mainHeight, int width,
                     int height) {
    return {mainLeft + mainWidth / 2 - width / 2, mainTop + mainHeight / 2 - height / 2};
}

}  // namespace wexal
