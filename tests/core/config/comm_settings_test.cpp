#include "config/comm_settings.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

namespace wexal {
namespace {

TEST(EntryFieldTest, AllowedCharactersBackspaceAndFreeFields) {
    EXPECT_TRUE(IsCharAllowed(U'e', "0123456789,NEOneo"));
    EXPECT_FALSE(IsCharAllowed(U'x', "0123456789,NEOneo"));
    EXPECT_FALSE(IsCharAllowed(0x08, "0123456789,NEOneo"));
    EXPECT_TRUE(IsCharAllowed(U'％', "頭に％を"));
    EXPECT_TRUE(FieldTakesChar(0x08, "YNyn"));
    EXPECT_FALSE(FieldTakesChar(U'x', "YNyn"));
    EXPECT_FALSE(FieldTakesChar(0x16, "YNyn"));  // Ctrl+V
    EXPECT_TRUE(FieldTakesChar(U'ア', ""));
    EXPECT_FALSE(FieldTakesChar(0x16, ""));
    EXPECT_EQ(ReadFieldNumber("120"), 120);
    EXPECT_EQ(ReadFieldNumber("-5"), -5);
    EXPECT_EQ(ReadFieldNumber(""), std::nullopt);
    EXPECT_EQ(ReadFieldNumber("1a"), std::nullopt);
    EXPECT_EQ(ReadFieldNumber("99999999999"), std::nullopt);
}

TEST(CommSettingsTest, FortyEightSpeedItemsInOrder) {
    const auto& items = SpeedItems();
    ASSERT_EQ(items.size(), 48u);
    EXPECT_EQ(items.front(), "1200,8,N,1");
    EXPECT_EQ(items[1], "1200,8,N,2");
    EXPECT_EQ(items[7], "1200,7,O,2");
    EXPECT_EQ(items[8], "2400,8,N,1");
    EXPECT_EQ(items[20], "4800,7,E,1");
    EXPECT_EQ(items.back(), "19200,7,O,2");
}

TEST(CommSettingsTest, KeyTables) {
    using A = CommKeyAction;
    struct Row {
        int tag;
        FieldKey key;
        bool empty;
        A action;
        int focus;
        bool upper;
        bool skip;
    };
    const Row rows[] = {
        {kSignalTag, FieldKey::Enter, false, A::MoveFocus, kStartCharTag, true, false},
        {kStartCharTag, FieldKey::Enter, false, A::MoveFocus, kEndCharTag, true, false},
        {kEndCharTag, FieldKey::Enter, false, A::MoveFocus, kCodeTag, true, false},
        {kCodeTag, FieldKey::Enter, false, A::MoveFocus, kSpeedTag, true, false},
        {kCodeTag, FieldKey::Enter, true, A::Ignore, 0, false, false},
        {kSignalTag, FieldKey::Up, false, A::MoveFocus, kPortTag, false, false},
        {kStartCharTag, FieldKey::Up, false, A::MoveFocus, kSignalTag, false, false},
        {kCodeTag, FieldKey::Up, false, A::MoveFocus, kEndCharTag, false, false},
        {kSignalTag, FieldKey::Down, true, A::MoveFocus, kStartCharTag, false, false},
        {kCodeTag, FieldKey::Down, false, A::MoveFocus, kSpeedTag, false, false},
        {kEndCharTag, FieldKey::F1, false, A::Apply, 0, false, false},
        {kEndCharTag, FieldKey::F2, false, A::Cancel, 0, false, false},
        {kEndCharTag, FieldKey::Escape, false, A::Cancel, 0, false, false},
        {kEndCharTag, FieldKey::F10, false, A::CloseWindow, 0, false, false},
        {kEndCharTag, FieldKey::Other, false, A::PassOn, 0, false, false},
        {kSpeedTag, FieldKey::Enter, false, A::MoveFocus, kPortTag, true, false},
        {kPortTag, FieldKey::Enter, false, A::MoveFocus, kSignalTag, true, false},
        {kPortTag, FieldKey::Enter, true, A::Ignore, 0, false, false},
        {kSpeedTag, FieldKey::F1, false, A::Apply, 0, false, false},
        {kPortTag, FieldKey::Escape, false, A::Cancel, 0, false, false},
        {kSpeedTag, FieldKey::F10, false, A::CloseWindow, 0, false, false},
        {kSpeedTag, FieldKey::Other, false, A::OpenDropDown, 0, false, false},
        {kSpeedTag, FieldKey::Down, false, A::OpenDropDown, 0, false, false},
        {kPortTag, FieldKey::Backspace, false, A::OpenDropDown, 0, false, true},
        {kPortTag, FieldKey::Delete, false, A::OpenDropDown, 0, false, true},
        {kPortTag, FieldKey::Tab, false, A::PassOn, 0, false, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message()
                     << "tag " << row.tag << " key " << static_cast<int>(row.key));
        const CommKeyResult result = CommPanelKey(row.tag, row.key, row.empty);
        EXPECT_EQ(result.action, row.action);
        EXPECT_EQ(result.focusTag, row.focus);
        EXPECT_EQ(result.upperCase, row.upper);
        EXPECT_EQ(result.skipCompletion, row.skip);
    }
}

TEST(CommSettingsTest, CompletionKeepsAMatchAndCutsTheRest) {
    const std::vector<std::string> ports = {"COM1", "COM3", "COM12"};
    struct Row {
        std::string text;
        std::size_t caret;
        std::string wantText;
        std::size_t wantSelection;
    };
    const Row rows[] = {
        {"4", 1, "4", 0},
        {"4800,7,e", 8, "4800,7,e", 0},
        {"4800,7,e,1", 10, "4800,7,e,1", 0},
        {"4800,7,x", 8, "4800,7,x", 0},  // no item: the prefix itself
        {"4800,8,N,2", 4, "4800,8,N,2", 6},
        {"4800,9,N,2", 6, "4800,9", 0},
        {"", 0, "", 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.text);
        const Completion done = CompleteTyped(row.text, row.caret, SpeedItems());
        EXPECT_EQ(done.text, row.wantText);
        EXPECT_EQ(done.caret, std::min(row.caret, row.wantText.size()));
        EXPECT_EQ(done.selectionLength, row.wantSelection);
    }
    EXPECT_EQ(CompleteTyped("com1", 4, ports).selectionLength, 0u);
    EXPECT_EQ(CompleteTyped("com12", 4, ports).selectionLength, 1u);
    EXPECT_EQ(CompleteTyped("com2x", 4, ports).text, "com2");
}

TEST(CommSettingsTest, ApplyTakesUpperCasedValuesOrRefusesTheLength) {
    Settings settings;
    CommFields fields = CommFieldsOf(settings);
    EXPECT_FALSE(CommFieldsChanged(fields, settings));

    fields.speed = "4800,7,e,1";
    fields.port = "3";
    fields.signal = "n";
    fields.startChar = "";
    fields.endChar = "n";
    fields.code = "y";
    EXPECT_TRUE(CommFieldsChanged(fields, settings));
    ASSERT_TRUE(ApplyCommunicationSettings(fields, settings));
    EXPECT_EQ(settings.Speed, "4800,7,E,1");
    EXPECT_EQ(settings.Port, "COM3");
    EXPECT_EQ(settings.Signal, "N");
    EXPECT_EQ(settings.StartChar, "N");  // emptied: kept
    EXPECT_EQ(settings.EndChar, "N");
    EXPECT_EQ(settings.Code, "Y");

    fields = CommFieldsOf(settings);
    fields.port = "com12";
    fields.speed = "";
    ASSERT_TRUE(ApplyCommunicationSettings(fields, settings));
    EXPECT_EQ(settings.Port, "COM12");
    EXPECT_EQ(settings.Speed, "4800,7,E,1");

    for (const char* speed : {"9600", "4800,8,N", "19200,7,O,2,1"}) {
        const Settings before = settings;
        fields = CommFieldsOf(settings);
        fields.speed = speed;
        fields.port = "5";
        fields.code = "N";
        EXPECT_FALSE(ApplyCommunicationSettings(fields, settings)) << speed;
        EXPECT_EQ(settings.Speed, before.Speed);
        EXPECT_EQ(settings.Port, before.Port);
        EXPECT_EQ(settings.Code, before.Code);
    }
    fields = CommFieldsOf(settings);
    fields.speed = "19200,7,o,2";  // twelve characters
    EXPECT_TRUE(ApplyCommunicationSettings(fields, settings));
    EXPECT_EQ(settings.Speed, "19200,7,O,2");
}

TEST(CommSettingsTest, CaptionsAndFooterBands) {
    Settings settings;
    EXPECT_EQ(SpeedCaption(settings), "通信条件(4800,8,N,2)");
    EXPECT_EQ(PortCaption(settings), "ポート番号(COM1)");
    EXPECT_EQ(Label14ClickKey(0), FieldKey::F1);
    EXPECT_EQ(Label14ClickKey(80), FieldKey::F1);
    EXPECT_EQ(Label14ClickKey(81), FieldKey::Other);
    EXPECT_EQ(Label14ClickKey(119), FieldKey::Other);
    EXPECT_EQ(Label14ClickKey(120), FieldKey::F2);
    EXPECT_EQ(Label14ClickKey(197), FieldKey::F2);
    EXPECT_EQ(Label14ClickKey(198), FieldKey::Other);
}

TEST(CommSettingsTest, PortThatDoesNotAnswerIsLeftOutWithoutWaitingForIt) {
    // COM5 hangs until the test ends; the probe owns what it shares with it.
    auto release = std::make_shared<std::atomic<bool>>(false);
    PortProbe probe = [release](int number) {
        if (number == 5) {
            while (!release->load()) std::this_thread::sleep_for(std::chrono::milliseconds(5));
            return true;
        }
        return number == 3 || number == 7 || number == 30;
    };
    // Returning at all is the point: waiting for COM5 would never end.
    const std::vector<std::string> ports = ListUsablePorts(probe, std::chrono::milliseconds(100));
    release->store(true);
    EXPECT_EQ(ports, (std::vector<std::string>{"COM3", "COM7", "COM30"}));
}

}  // namespace
}  // namespace wexal
