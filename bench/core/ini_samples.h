#pragma once

// Large settings files for the size benchmarks: Wexal's own sections with
// either a run of blank lines or many foreign sections around them, as a
// file edited by hand or shared with other tools might look.

#include <cstddef>
#include <cstdio>
#include <string>
#include <string_view>

namespace wexal::bench {

// Wexal.INI as a save of the defaults writes it (cp932: plain ASCII here).
inline constexpr std::string_view kWexalSections =
    "[Main]\r\nTop=10\r\nLeft=10\r\n"
    "[Setting]\r\nPort=COM3\r\nSpeed=4800,8,N,2\r\nDirPath=/home/nc\r\nMask=*.NC\r\n"
    "Signal=Y\r\nStartChar=N\r\nFileSort=N\r\nSortMuki=D\r\nCode=N\r\nEndChar=Y\r\n"
    "O/:-Change=N\r\nALL-Files=Y\r\nDC3(0X93)=Y\r\nStartChar_Type=1\r\nEndChar_Type=1\r\n"
    "SendMsg1=\r\nR_Code=0\r\nModemePort1=\r\nModemePort2=\r\n"
    "[Options]\r\nop1=N\r\nInvTime=0\r\nListColumn=2\r\nAdd_No=Y\r\nPower_Off=N\r\n"
    "Send_SP_Cut=N\r\nRead_SP_Cut=N\r\nSend_Before=0\r\nAutoSelect=N\r\nMSG_OP=N\r\n"
    "op2=N\r\nop3=N\r\nop4=N\r\nop5=N\r\nop6=N\r\nWinVer=0\r\n";

// The settings sections, then blank lines up to `size` bytes.
inline std::string BlankLinesIni(std::size_t size) {
    std::string text(kWexalSections);
    if (text.size() < size) text.append(size - text.size(), '\n');
    return text;
}

// Foreign sections with comments and cp932 values up to about `size` bytes,
// with the settings sections in the middle.
inline std::string RealisticIni(std::size_t size) {
    std::string text;
    text.reserve(size + 512);
    // "機械" and "金型" in cp932.
    const std::string machine = "\x8B\x40\x8A\x42";
    const std::string mould = "\x8B\xE0\x8C\x5E";
    bool wexalWritten = false;
    char number[16];
    for (unsigned i = 0; text.size() < size; ++i) {
        if (!wexalWritten && text.size() >= size / 2) {
            text.append(kWexalSections);
            wexalWritten = true;
        }
        std::snprintf(number, sizeof number, "%05u", i);
        text += "; " + machine + " " + number + "\r\n";
        text += "[Machine" + std::string(number) + "]\r\n";
        text += "Name=" + machine + number + "\r\n";
        text += "Folder=/home/nc/" + mould + "/" + number + "\r\n";
        text += "Port=COM" + std::to_string(i % 30 + 1) + "\r\n";
        text += "Speed = 9600,7,E,2\r\n";
        text += "LastProgram=O" + std::string(number).substr(1) + ".NC\r\n";
        text += "\r\n";
    }
    if (!wexalWritten) text.append(kWexalSections);
    return text;
}

}  // namespace wexal::bench
