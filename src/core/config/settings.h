#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace wexal {

// One external application bound to Alt+letter.
struct OutAppEntry {
    std::string Command;         // OutAppX
    std::string PassFile = "N";  // OutAppX_F ("Y": pass the file through the argument dialog)
    std::string Name;            // OutAppX_N
};

// The one in-memory record of all configuration. Field names follow the keys
// of Wexal.INI and OutApp_Sub.ini. Y/N and letter values are kept as the text
// the file held; nothing here validates them.
struct Settings {
    Settings();  // every value at its default

    // [Main]
    std::int32_t Left = 10;
    std::int32_t Top = 10;
    // [Setting]
    std::string Port = "COM1";
    std::string Speed = "4800,8,N,2";
    std::string DirPath;  // default: the user's home folder
    std::string Mask = "*.NC";
    std::string Signal = "Y";
    std::string StartChar = "N";
    std::string FileSort = "N";
    std::string SortMuki = "D";
    std::string Code = "N";
    std::string EndChar = "Y";
    std::string OColonChange = "N";  // O/:-Change
    std::string AllFiles = "Y";      // ALL-Files
    // [Options]
    std::string op1 = "N";
    std::int32_t InvTime = 0;
    std::int32_t ListColumn = 2;
    // [Setting]
    std::string DC3_0x93 = "Y";  // DC3(0X93)
    // [Options]
    std::string Add_No = "Y";
    // [Setting]
    std::int32_t StartChar_Type = 1;
    std::int32_t EndChar_Type = 1;
    // [Options]
    std::string Power_Off = "N";
    std::string Send_SP_Cut = "N";
    std::string Read_SP_Cut = "N";
    std::int32_t Send_Before = 0;
    std::string AutoSelect = "N";
    // [Setting]
    std::string SendMsg1;
    std::int32_t R_Code = 0;
    // [Options]
    std::string MSG_OP = "N";
    std::string op2 = "N";
    std::string op3 = "N";
    std::string op4 = "N";
    std::string op5 = "N";
    std::string op6 = "N";
    bool WinVer = false;
    // [Setting]
    std::string ModemePort1;
    std::string ModemePort2;
    // [Options] The toolpath plot reads a number without a decimal point as
    // the least increment ("Y") or as whole units ("N").
    std::string PlotNoDecimal = "N";
    // [Options] How many earlier versions of a program are kept when it is
    // replaced; 0 keeps none.
    std::int32_t KeepRevisions = 50;

    // OutApp_Sub.ini [Application]
    std::string EditApp;
    std::array<OutAppEntry, 26> OutApp;  // index 0 = A
};

}  // namespace wexal
