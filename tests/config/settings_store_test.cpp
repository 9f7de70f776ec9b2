#include "config/settings_store.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <iterator>
#include <string>

#include "platform/path_rules.h"
#include "support/test_env.h"

namespace wexal {
namespace {

namespace fs = std::filesystem;

// What a save of the defaults must produce, with DirPath fixed to /home/nc.
constexpr const char* kDefaultMainIni =
    "[Main]\nTop=10\nLeft=10\n"
    "[Setting]\nPort=COM1\nSpeed=4800,8,N,2\nDirPath=/home/nc\nMask=*.NC\nSignal=Y\n"
    "StartChar=N\nFileSort=N\nSortMuki=D\nCode=N\nEndChar=Y\nO/:-Change=N\nALL-Files=Y\n"
    "DC3(0X93)=Y\nStartChar_Type=1\nEndChar_Type=1\nSendMsg1=\nR_Code=0\nModemePort1=\n"
    "ModemePort2=\n"
    "[Options]\nop1=N\nInvTime=0\nListColumn=2\nAdd_No=Y\nPower_Off=N\nSend_SP_Cut=N\n"
    "Read_SP_Cut=N\nSend_Before=0\nAutoSelect=N\nMSG_OP=N\nop2=N\nop3=N\nop4=N\nop5=N\nop6=N\n"
    "WinVer=0\n";

class SettingsStoreTest : public ::testing::Test {
protected:
    Settings LoadMain(const std::string& bytes) {
        test::WriteFileBytes(files_.mainIni, bytes);
        Settings s;
        SettingsStore::Load(s, files_);
        return s;
    }

    test::TempDir dir_;
    SettingsFiles files_{dir_ / "Wexal.INI", dir_ / "OutApp_Sub.ini"};
};

TEST_F(SettingsStoreTest, MissingFilesGiveDefaultsAndAFreshSaveWritesEveryKeyInOrder) {
    Settings s;
    s.Port = "COM7";
    s.OutApp[3].PassFile = "Y";
    SettingsStore::Load(s, files_);
    EXPECT_EQ(s.Port, "COM1");
    EXPECT_EQ(s.DirPath, PathRules::DefaultFolder());
    for (const OutAppEntry& app : s.OutApp) {
        EXPECT_EQ(app.Name, "");
        EXPECT_EQ(app.Command, "");
        EXPECT_EQ(app.PassFile, "N");
    }

    // Saving what was loaded checks every other default as well.
    s.DirPath = "/home/nc";
    ASSERT_TRUE(SettingsStore::Save(s, files_));
    EXPECT_EQ(test::ReadFileBytes(files_.mainIni), kDefaultMainIni);

    const std::string apps = test::ReadFileBytes(files_.outAppIni);
    EXPECT_EQ(
        apps.rfind("[Application]\nEditApp=\nOutAppA=\nOutAppA_F=N\nOutAppA_N=\nOutAppB=\n", 0),
        0u);
    EXPECT_TRUE(apps.ends_with("OutAppY_N=\nOutAppZ=\nOutAppZ_F=N\nOutAppZ_N=\n"));
    EXPECT_EQ(std::count(apps.begin(), apps.end(), '\n'), 80);
}

TEST_F(SettingsStoreTest, KeysAreFoundWhateverTheirCaseAndValuesAreNotValidated) {
    Settings s = LoadMain(" [ setting ] \nport=COM3\nSpeed = 9600,7,E,1\nFileSort=x\n");
    EXPECT_EQ(s.Port, "COM3");
    EXPECT_EQ(s.Speed, "9600,7,E,1");
    EXPECT_EQ(s.FileSort, "x");
    EXPECT_EQ(s.Mask, "*.NC");
    EXPECT_EQ(s.ListColumn, 2);
}

TEST_F(SettingsStoreTest, IntegersOutsideDecimalInt32TakeTheirDefault) {
    Settings s = LoadMain(
        "[Main]\nLeft=99999999999\nTop=+7\n"
        "[Setting]\nStartChar_Type=12abc\nEndChar_Type=-2147483648\nR_Code=\n"
        "[Options]\nListColumn=abc\nInvTime= -5 \nSend_Before=1.5\n");
    EXPECT_EQ(s.Left, 10);
    EXPECT_EQ(s.Top, 7);
    EXPECT_EQ(s.StartChar_Type, 1);
    EXPECT_EQ(s.EndChar_Type, -2147483647 - 1);
    EXPECT_EQ(s.R_Code, 0);
    EXPECT_EQ(s.ListColumn, 2);
    EXPECT_EQ(s.InvTime, -5);
    EXPECT_EQ(s.Send_Before, 0);
    EXPECT_EQ(LoadMain("[Options]\nListColumn=9\n").ListColumn, 9);
}

TEST_F(SettingsStoreTest, WinVerIsTrueForAnyNonZeroIntegerAndWrittenAsOneOrZero) {
    EXPECT_TRUE(LoadMain("[Options]\nWinVer=5\n").WinVer);
    EXPECT_TRUE(LoadMain("[Options]\nWinVer=-99999999999\n").WinVer);
    EXPECT_FALSE(LoadMain("[Options]\nWinVer=000\n").WinVer);
    EXPECT_FALSE(LoadMain("[Options]\nWinVer=yes\n").WinVer);

    Settings s = LoadMain("[Options]\nWinVer=1\n");
    ASSERT_TRUE(s.WinVer);
    ASSERT_TRUE(SettingsStore::Save(s, files_));
    EXPECT_NE(test::ReadFileBytes(files_.mainIni).find("\nWinVer=1\n"), std::string::npos);
}

TEST_F(SettingsStoreTest, ForeignLinesAndTheFilesLineEndingSurviveLoadAndSave) {
    const std::string original =
        "; Wexal\r\n[Main]\r\nLeft=20\r\nTop=30\r\n[Setting]\r\nport=COM2\r\n"
        "Foreign=keep me\r\ngarbage line\r\n[Other]\r\nx=1\r\n";
    Settings s = LoadMain(original);
    ASSERT_TRUE(SettingsStore::Save(s, files_));
    const std::string saved = test::ReadFileBytes(files_.mainIni);
    EXPECT_EQ(saved.rfind("; Wexal\r\n[Main]\r\nLeft=20\r\nTop=30\r\n[Setting]\r\nport=COM2\r\n"
                          "Foreign=keep me\r\nSpeed=4800,8,N,2\r\n",
                          0),
              0u);
    EXPECT_NE(
        saved.find("ModemePort2=\r\ngarbage line\r\n[Other]\r\nx=1\r\n[Options]\r\nop1=N\r\n"),
        std::string::npos);
    EXPECT_TRUE(saved.ends_with("WinVer=0\r\n"));
    EXPECT_EQ(saved.find("\n["), saved.find("\r\n[") + 1);
    EXPECT_EQ(std::count(saved.begin(), saved.end(), '\n'),
              std::count(saved.begin(), saved.end(), '\r'));
}

TEST_F(SettingsStoreTest, HostileFilesLoadAndBadValuesFallBackToTheirDefault) {
    std::string binary;
    for (int i = 0; i < 70000; ++i) binary += static_cast<char>((i * 7919) % 256);
    std::string manyLines = "[Setting]\n";
    for (int i = 0; i < 100000; ++i) manyLines += "Junk" + std::to_string(i) + "\n";
    manyLines += "Port=COM8\n";
    const std::string inputs[] = {binary, std::string(5000, '\0'), manyLines,
                                  "[Setting]\nSendMsg1=" + std::string(1 << 20, '%') + "\n"};
    for (const std::string& input : inputs) {
        Settings s = LoadMain(input);
        EXPECT_EQ(s.Mask, "*.NC");
    }
    EXPECT_EQ(LoadMain(manyLines).Port, "COM8");
    EXPECT_EQ(LoadMain(inputs[3]).SendMsg1.size(), 1u << 20);

    Settings s = LoadMain("[Setting]\nPort=COM\x81\nMask=*.\x82\xA0\n");
    EXPECT_EQ(s.Port, "COM1");
    EXPECT_EQ(s.Mask, "*.あ");
}

TEST_F(SettingsStoreTest, JapaneseValuesAreCp932OnDisk) {
    Settings s;
    s.DirPath = "/home/nc/金型ﾌﾟﾛｸﾞﾗﾑ";
    s.OutApp[2] = {"C:\\TOOLS\\VIEW.EXE $A", "Y", "VIEWER"};
    s.EditApp = "/usr/bin/エディタ";
    ASSERT_TRUE(SettingsStore::Save(s, files_));

    const std::string main = test::ReadFileBytes(files_.mainIni);
    EXPECT_NE(main.find("DirPath=/home/nc/\x8B\xE0\x8C\x5E\xCC\xDF\xDB\xB8\xDE\xD7\xD1\n"),
              std::string::npos);
    const std::string apps = test::ReadFileBytes(files_.outAppIni);
    EXPECT_NE(apps.find("\nOutAppC=C:\\TOOLS\\VIEW.EXE $A\nOutAppC_F=Y\nOutAppC_N=VIEWER\n"),
              std::string::npos);
    EXPECT_EQ(apps.find("エディタ"), std::string::npos);

    Settings loaded;
    SettingsStore::Load(loaded, files_);
    EXPECT_EQ(loaded.DirPath, s.DirPath);
    EXPECT_EQ(loaded.EditApp, s.EditApp);
    EXPECT_EQ(loaded.OutApp[2].Command, "C:\\TOOLS\\VIEW.EXE $A");
    EXPECT_EQ(loaded.OutApp[2].PassFile, "Y");
    EXPECT_EQ(loaded.OutApp[2].Name, "VIEWER");
}

TEST_F(SettingsStoreTest, AValueOutsideCp932KeepsItsOldLineAndIsReported) {
    test::WriteFileBytes(files_.mainIni, "[Setting]\nSendMsg1=old\n");
    Settings s;
    s.SendMsg1 = "M30 😀";
    s.Port = "COM4";
    const Status status = SettingsStore::Save(s, files_);
    EXPECT_FALSE(status);
    EXPECT_NE(status.message.find(files_.mainIni.string()), std::string::npos);
    EXPECT_NE(status.message.find("SendMsg1"), std::string::npos);
    const std::string saved = test::ReadFileBytes(files_.mainIni);
    EXPECT_NE(saved.find("SendMsg1=old\n"), std::string::npos);
    EXPECT_NE(saved.find("Port=COM4\n"), std::string::npos);
}

TEST_F(SettingsStoreTest, AFailedWriteNamesTheFileAndLeavesTheOldOneIntact) {
    // Root ignores permissions, so a file-size limit plays the full disk.
    const std::string old = "[Main]\nLeft=1\n";
    test::WriteFileBytes(files_.mainIni, old);
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limited = saved;
    limited.rlim_cur = 100;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limited), 0);
    const Status status = SettingsStore::Save(Settings(), files_);
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previousHandler);

    EXPECT_FALSE(status);
    EXPECT_NE(status.message.find(files_.mainIni.string()), std::string::npos);
    EXPECT_NE(status.message.find(files_.outAppIni.string()), std::string::npos);
    EXPECT_EQ(test::ReadFileBytes(files_.mainIni), old);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_.path()), {}), 1);

    // The second file is still written when the first cannot be.
    files_.mainIni = dir_ / "Wexal.INI" / "below-a-file";
    const Status second = SettingsStore::Save(Settings(), files_);
    EXPECT_FALSE(second);
    EXPECT_NE(second.message.find(files_.mainIni.string()), std::string::npos);
    EXPECT_TRUE(fs::exists(files_.outAppIni));
}

}  // namespace
}  // namespace wexal
