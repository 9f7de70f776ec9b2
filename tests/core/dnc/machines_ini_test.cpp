#include "dnc/machines_ini.h"

#include <gtest/gtest.h>

#include "dnc/remote_request.h"
#include "platform/text_codec.h"
#include "support/test_env.h"

namespace wexal {
namespace {

TEST(MachinesIniTest, ASectionKeyWinsOverWexalIniWhichWinsOverTheDefault) {
    test::TempDir dir;
    const std::string nc = test::AbsolutePath("/srv/nc");
    const std::string mc1 = test::AbsolutePath("/srv/mc1");
    const std::string mc1in = test::AbsolutePath("/srv/mc1/in");
    test::WriteFileBytes(dir / "Wexal.INI",
                         "[Setting]\nSpeed=9600,7,E,2\nMask=*.TXT\nDirPath=" + nc +
                             "\n"
                             "[Options]\nAdd_No=N\nAutoSelect=Y\n");
    test::WriteFileBytes(
        dir / "Machines.ini",
        "; two lathes\n[MC1]\nPort=COM3\nspeed = 19200,8,N,1\nSendDir=" + mc1 +
            "\n"
            "ReceiveDir=" +
            mc1in +
            "\nRequestWait=45\n[MC2]\nPort=COM4\nadd_no=Y\n"
            "[MC3]\nPort=COM5\nSendDir=relative/path\n[MC4]\nPort=COM6\nRequestWait=0\n");
    const MachinesLoad load = LoadMachines(dir / "Machines.ini", dir / "Wexal.INI", dir.path());
    ASSERT_EQ(load.error, "");
    // MC3 has no usable folder, MC4 no usable wait.
    ASSERT_EQ(load.machines.size(), 2u);

    const MachineConfig& one = load.machines[0];
    EXPECT_EQ(one.name, "MC1");
    EXPECT_EQ(one.settings.Port, "COM3");
    EXPECT_EQ(one.settings.Speed, "19200,8,N,1");   // the section's
    EXPECT_EQ(one.settings.Mask, "*.TXT");          // Wexal.INI's
    EXPECT_EQ(one.settings.Signal, "Y");            // the default
    EXPECT_EQ(one.settings.Add_No, "N");
    EXPECT_EQ(one.settings.AutoSelect, "N");  // never used by the server
    EXPECT_EQ(one.sendDir, mc1);
    EXPECT_EQ(one.receiveDir, mc1in);
    EXPECT_EQ(one.requestWaitSeconds, 45);

    const MachineConfig& two = load.machines[1];
    EXPECT_EQ(two.settings.Port, "COM4");
    EXPECT_EQ(two.settings.Speed, "9600,7,E,2");
    EXPECT_EQ(two.settings.Add_No, "Y");
    EXPECT_EQ(two.sendDir, nc);     // DirPath of Wexal.INI
    EXPECT_EQ(two.receiveDir, nc);  // SendDir
    EXPECT_EQ(two.requestWaitSeconds, 300);
    EXPECT_NE(one.fingerprint, two.fingerprint);

    bool saidAutoSelect = false, saidMc3 = false, saidMc4 = false;
    for (const std::string& note : load.notes) {
        saidAutoSelect = saidAutoSelect || note.find("AutoSelect") != std::string::npos;
        saidMc3 = saidMc3 || note.find("[MC3]") != std::string::npos;
        saidMc4 = saidMc4 || note.find("[MC4] RequestWait") != std::string::npos;
    }
    EXPECT_TRUE(saidAutoSelect);
    EXPECT_TRUE(saidMc3);
    EXPECT_TRUE(saidMc4);
}

TEST(MachinesIniTest, AFileWithoutMachinesOrNoFileAtAllIsAnError) {
    test::TempDir dir;
    test::WriteFileBytes(dir / "Machines.ini", "; nothing\n");
    EXPECT_NE(LoadMachines(dir / "Machines.ini", dir / "Wexal.INI", dir.path()).error, "");
    EXPECT_NE(LoadMachines(dir / "none.ini", dir / "Wexal.INI", dir.path()).error, "");
}

TEST(MachinesIniTest, UnicodeWithOrWithoutAMarkAndCp932ReadAlike) {
    const std::string folder = test::AbsolutePath("/srv/加工/受信");
    const std::string text = "[旋盤1]\r\nPort=COM1\r\nSendDir=" + folder + "\r\n";
    const struct {
        const char* what;
        std::string bytes;
    } cases[] = {
        {"UTF-8", text},
        {"UTF-8 with a mark", "\xEF\xBB\xBF" + text},
        {"UTF-16 with a mark", "\xFF\xFE" + *Wtf8ToUtf16(text, false)},
        {"cp932", *Utf8ToCp932(text)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        test::TempDir dir;
        test::WriteFileBytes(dir / "Machines.ini", c.bytes);
        const MachinesLoad load = LoadMachines(dir / "Machines.ini", dir / "Wexal.INI", dir.path());
        ASSERT_EQ(load.error, "");
        ASSERT_EQ(load.machines.size(), 1u);
        EXPECT_EQ(load.machines[0].name, "旋盤1");
        EXPECT_EQ(load.machines[0].sendDir, folder);
    }
}

TEST(RemoteRequestTest, RequestLinesAndTheFileTheyName) {
    const struct {
        const char* line;
        bool request;
        bool drip;
        const char* file;  // with the mask *.NC; "" when refused
    } cases[] = {
        {"O9999(REQ O1234)", true, false, "O1234.NC"},
        {"O9999 ( DRIP  O1234.TAP )", true, true, "O1234.TAP"},
        {":1(REQ A)", true, false, "A.NC"},
        {"O1000(REQUEST O1)", false, false, ""},
        {"O1000(FIRST)", false, false, ""},
        {"O1000", false, false, ""},
        {"O9999(REQ ../../ETC/PASSWD)", true, false, ""},
        {"O9999(REQ ..)", true, false, ""},
        {"O9999(REQ A\x01)", true, false, ""},
        {"O9999(REQ )", true, false, ""},
        {"O9999(REQ O1-2_3)", true, false, "O1-2_3.NC"},
        {"O9999(REQ o2000)", true, false, "o2000.NC"},
        {"O9999(REQ O2000#1)", true, false, ""},
        {"O9999(REQ A B)", true, false, ""},
        {"O9999(REQ .HIDDEN)", true, false, ""},
        {"O9999(REQ \xEF\xBC\xAF\xEF\xBC\x91)", true, false, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        const std::optional<RemoteRequest> request = ParseRemoteRequest(c.line);
        ASSERT_EQ(request.has_value(), c.request);
        if (!request) continue;
        EXPECT_EQ(request->drip, c.drip);
        std::string why;
        EXPECT_EQ(RequestedFileName(request->name, "*.NC", why), c.file);
        EXPECT_EQ(why.empty(), std::string(c.file) != "");
    }
}

}  // namespace
}  // namespace wexal
