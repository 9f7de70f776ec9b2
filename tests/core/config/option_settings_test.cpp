#include "config/option_settings.h"

#include <gtest/gtest.h>

#include <set>

namespace wexal {
namespace {

// Records what Take asked of the window, with the settings as they stood.
class RecordingHost : public OptionTakeHost {
public:
    explicit RecordingHost(const Settings& settings) : settings_(settings) {}
    void RefreshFileList(bool keepCursor) override {
        calls.push_back(std::string(keepCursor ? "refresh-keep" : "refresh") + " all=" +
                        settings_.AllFiles + " cols=" + std::to_string(settings_.ListColumn) +
                        " op3=" + settings_.op3 + " op4=" + settings_.op4);
    }
    void ApplyListColumns() override {
        calls.push_back("columns " + std::to_string(settings_.ListColumn));
    }
    void StartIdleTimer() override { calls.push_back("timer"); }
    std::vector<std::string> calls;

private:
    const Settings& settings_;
};

int Index(const char* control) { return *OptionFieldIndex(control); }

TEST(OptionSettingsTest, FourTabsOfTwentyFourFieldsInTagOrder) {
    const auto& definitions = OptionFieldSpecs();
    std::set<std::string> names;
    for (const auto& definition : definitions) names.insert(definition.control);
    EXPECT_EQ(names.size(), 24u);
    for (int n = 1; n <= 24; ++n) EXPECT_TRUE(names.count("LabeledEdit" + std::to_string(n))) << n;
    const int sizes[] = {8, 4, 8, 4};
    for (int tab = 0; tab < kOptionTabCount; ++tab) {
        EXPECT_EQ(OptionTabSize(tab), sizes[tab]);
        for (int tag = 1; tag <= sizes[tab]; ++tag) EXPECT_GE(OptionFieldAt(tab, tag), 0);
    }
    EXPECT_EQ(definitions[static_cast<std::size_t>(OptionFieldAt(0, 4))].control,
              std::string("LabeledEdit18"));
    EXPECT_EQ(definitions[static_cast<std::size_t>(Index("LabeledEdit4"))].maxLength, 3);
    EXPECT_STREQ(definitions[static_cast<std::size_t>(Index("LabeledEdit16"))].allowed, "");
    EXPECT_STREQ(definitions[static_cast<std::size_t>(Index("LabeledEdit15"))].caption,
                 "受信 0:自動判別 1:ISO 2:EIA 3:ASCII");
}

TEST(OptionSettingsTest, KeysAndRings) {
    EXPECT_EQ(OptionFieldKey(FieldKey::Enter, false).action, OptionKeyAction::Next);
    EXPECT_TRUE(OptionFieldKey(FieldKey::Enter, false).upperCase);
    EXPECT_EQ(OptionFieldKey(FieldKey::Enter, true).action, OptionKeyAction::Ignore);
    EXPECT_EQ(OptionFieldKey(FieldKey::Down, true).action, OptionKeyAction::Next);
    EXPECT_EQ(OptionFieldKey(FieldKey::Up, false).action, OptionKeyAction::Previous);
    EXPECT_EQ(OptionFieldKey(FieldKey::F1, false).action, OptionKeyAction::PassOn);
    EXPECT_EQ(NextInRing(8, 8), 1);
    EXPECT_EQ(NextInRing(3, 4), 4);
    EXPECT_EQ(PreviousInRing(1, 4), 4);
    EXPECT_EQ(PreviousInRing(2, 4), 1);
}

TEST(OptionSettingsTest, EditsMakeDirtyAndTakeRunsInOrderWithTheListRedraws) {
    Settings settings;
    OptionEntries entries;
    entries.Fill(settings);
    EXPECT_FALSE(entries.Dirty());
    EXPECT_EQ(entries.Text(Index("LabeledEdit5")), "2");
    EXPECT_EQ(entries.Text(Index("LabeledEdit6")), "Y");

    RecordingHost host(settings);
    // Nothing changed: values taken as they stand, no redraw.
    EXPECT_EQ(entries.Take(settings, host), std::nullopt);
    EXPECT_TRUE(host.calls.empty());

    entries.Edit(Index("LabeledEdit2"), "N");
    entries.Edit(Index("LabeledEdit5"), "5");
    entries.Edit(Index("LabeledEdit21"), "Y");
    entries.Edit(Index("LabeledEdit22"), "Y");
    entries.Edit(Index("LabeledEdit4"), "120");
    entries.Edit(Index("LabeledEdit16"), "");
    entries.Edit(Index("LabeledEdit18"), "COM3");
    EXPECT_TRUE(entries.Dirty());
    EXPECT_EQ(entries.Take(settings, host), std::nullopt);
    EXPECT_FALSE(entries.Dirty());
    const std::vector<std::string> want = {
        "refresh-keep all=N cols=2 op3=N op4=N", "timer", "columns 5",
        "refresh-keep all=N cols=5 op3=N op4=N", "timer", "refresh all=N cols=5 op3=Y op4=N",
        "refresh all=N cols=5 op3=Y op4=Y",
    };
    EXPECT_EQ(host.calls, want);
    EXPECT_EQ(settings.InvTime, 120);
    EXPECT_EQ(settings.SendMsg1, "");
    EXPECT_EQ(settings.ModemePort1, "COM3");
}

TEST(OptionSettingsTest, NumberThatIsNoneStopsTheTakeAndKeepsTheOldValue) {
    Settings settings;
    OptionEntries entries;
    entries.Fill(settings);
    entries.Edit(Index("LabeledEdit1"), "Y");   // before the bad field
    entries.Edit(Index("LabeledEdit3"), "Y");   // before it as well
    entries.Edit(Index("LabeledEdit4"), "");    // InvTime emptied
    entries.Edit(Index("LabeledEdit5"), "4");   // after it
    entries.Edit(Index("LabeledEdit24"), "Y");  // after it
    RecordingHost host(settings);
    EXPECT_EQ(entries.Take(settings, host), Index("LabeledEdit4"));
    EXPECT_EQ(settings.OColonChange, "Y");
    EXPECT_EQ(settings.op1, "Y");
    EXPECT_EQ(settings.InvTime, 0);
    EXPECT_EQ(settings.ListColumn, 2);
    EXPECT_EQ(settings.op6, "N");
    EXPECT_TRUE(host.calls.empty());
    EXPECT_TRUE(entries.Dirty());
    EXPECT_EQ(OptionNumberErrorText(Index("LabeledEdit4")),
              "入力データを確認してください。\nｳｪｲﾄﾀｲﾑ(msec)");

    entries.Edit(Index("LabeledEdit4"), "0");
    EXPECT_EQ(entries.Take(settings, host), std::nullopt);
    EXPECT_EQ(settings.ListColumn, 4);
    EXPECT_EQ(settings.op6, "Y");
}

TEST(OptionSettingsTest, CentredOverTheMainWindow) {
    const Placement at = CentreOver(10, 20, 735, 547, 568, 331);
    EXPECT_EQ(at.left, 10 + 367 - 284);
    EXPECT_EQ(at.top, 20 + 273 - 165);
}

}  // namespace
}  // namespace wexal
