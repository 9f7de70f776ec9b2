#include "serial/port_probe.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "serial/port_names.h"

#include "support/test_env.h"

namespace wexal {
namespace {

using test::PseudoTerminal;
using test::ScopedEnv;

namespace fs = std::filesystem;

bool IsExclusive(int fd) {
    int exclusive = 0;
    return ioctl(fd, TIOCGEXCL, &exclusive) == 0 && exclusive != 0;
}

class PortProbeTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(pty_.ok()); }

    void WritePortsIni(const std::string& body) {
        std::ofstream(folder_ / "Ports.ini") << "[Ports]\n" << body;
    }

    test::TempDir folderDir_;
    fs::path folder_ = folderDir_.path();
    PseudoTerminal pty_;
    Settings settings_;
};

TEST(PortNamesTest, NumberIsTheTextAfterThreeCharacters) {
    EXPECT_EQ(PortNumber("COM3"), 3);
    EXPECT_EQ(PortNumber("com12"), 12);
    EXPECT_EQ(PortNumber("COM30"), 30);
    EXPECT_EQ(PortNumber("COMX"), std::nullopt);
    EXPECT_EQ(PortNumber("COM"), std::nullopt);
    EXPECT_EQ(PortNumber(""), std::nullopt);
    EXPECT_EQ(PortNumber("COM3A"), std::nullopt);
    EXPECT_EQ(PortNumber("COM 3"), std::nullopt);
    EXPECT_EQ(PortNumber("COM99999999999"), std::nullopt);
}

TEST_F(PortProbeTest, DeviceComesFromEnvironmentThenPortsIniThenTtyS) {
    ScopedEnv unset3("WEXAL_COM3", nullptr);
    EXPECT_EQ(ResolvePortDevice(3, folder_), "/dev/ttyS2");
    EXPECT_EQ(ResolvePortDevice(12, folder_), "/dev/ttyS11");

    WritePortsIni("COM3=/dev/ttyUSB0\n");
    EXPECT_EQ(ResolvePortDevice(3, folder_), "/dev/ttyUSB0");
    {
        ScopedEnv empty("WEXAL_COM3", "");
        EXPECT_EQ(ResolvePortDevice(3, folder_), "/dev/ttyUSB0");
    }
    ScopedEnv env("WEXAL_COM3", "/dev/ttyACM1");
    EXPECT_EQ(ResolvePortDevice(3, folder_), "/dev/ttyACM1");
}

TEST_F(PortProbeTest, TerminalIsUsableUnlessReservedForAModem) {
    ScopedEnv env("WEXAL_COM7", pty_.slave().c_str());
    EXPECT_TRUE(IsPortUsable(7, settings_, folder_));

    settings_.ModemePort1 = "com7";
    EXPECT_FALSE(IsPortUsable(7, settings_, folder_));
    settings_.ModemePort1 = "COM17";
    EXPECT_TRUE(IsPortUsable(7, settings_, folder_));
    settings_.ModemePort2 = "Com7";
    EXPECT_FALSE(IsPortUsable(7, settings_, folder_));
}

TEST_F(PortProbeTest, PortsIniMappingIsProbed) {
    ScopedEnv env("WEXAL_COM4", nullptr);
    WritePortsIni("COM4=" + pty_.slave() + "\n");
    EXPECT_TRUE(IsPortUsable(4, settings_, folder_));
}

TEST_F(PortProbeTest, MissingDevicesFilesAndNumbersOutOfRangeAreUnusable) {
    {
        ScopedEnv env("WEXAL_COM5", (folder_ / "ttyGone").c_str());
        EXPECT_FALSE(IsPortUsable(5, settings_, folder_));
    }
    {
        std::ofstream(folder_ / "plain.txt") << "not a terminal";
        ScopedEnv env("WEXAL_COM5", (folder_ / "plain.txt").c_str());
        EXPECT_FALSE(IsPortUsable(5, settings_, folder_));
    }
    ScopedEnv env0("WEXAL_COM0", pty_.slave().c_str());
    ScopedEnv env31("WEXAL_COM31", pty_.slave().c_str());
    EXPECT_FALSE(IsPortUsable(0, settings_, folder_));
    EXPECT_FALSE(IsPortUsable(31, settings_, folder_));
    EXPECT_FALSE(IsPortUsable(-1, settings_, folder_));
}

// Unprivileged, the probe's open fails with EBUSY. Root passes TIOCEXCL on Linux,
// so there the probe must see the flag itself and leave it to its owner.
TEST_F(PortProbeTest, PortHeldExclusivelyElsewhereIsUnusableAndStaysHeld) {
    ScopedEnv env("WEXAL_COM2", pty_.slave().c_str());
    const int holder = open(pty_.slave().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(holder, 0);

    EXPECT_TRUE(IsPortUsable(2, settings_, folder_));
    EXPECT_FALSE(IsExclusive(holder));

    ASSERT_EQ(ioctl(holder, TIOCEXCL), 0);
    EXPECT_FALSE(IsPortUsable(2, settings_, folder_));
    EXPECT_TRUE(IsExclusive(holder));
    close(holder);
}

}  // namespace
}  // namespace wexal
