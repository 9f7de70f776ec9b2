#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>

#include "config/settings.h"

namespace wexal {

// The keys of Wexal.INI with the fields they fill. Header-only, so the INI
// fuzzer and the benchmark can walk the same keys without linking the store.
using SettingsField =
    std::variant<std::int32_t Settings::*, std::string Settings::*, bool Settings::*>;

struct SettingsEntry {
    std::string_view section;
    std::string_view key;
    SettingsField field;
};

// Wexal.INI in the order of reading; writing puts Top before Left.
inline const SettingsEntry kMainEntries[] = {
    {"Main", "Left", &Settings::Left},
    {"Main", "Top", &Settings::Top},
    {"Setting", "Port", &Settings::Port},
    {"Setting", "Speed", &Settings::Speed},
    {"Setting", "DirPath", &Settings::DirPath},
    {"Setting", "Mask", &Settings::Mask},
    {"Setting", "Signal", &Settings::Signal},
    {"Setting", "StartChar", &Settings::StartChar},
    {"Setting", "FileSort", &Settings::FileSort},
    {"Setting", "SortMuki", &Settings::SortMuki},
    {"Setting", "Code", &Settings::Code},
    {"Setting", "EndChar", &Settings::EndChar},
    {"Setting", "O/:-Change", &Settings::OColonChange},
    {"Setting", "ALL-Files", &Settings::AllFiles},
    {"Options", "op1", &Settings::op1},
    {"Options", "InvTime", &Settings::InvTime},
    {"Options", "ListColumn", &Settings::ListColumn},
    {"Setting", "DC3(0X93)", &Settings::DC3_0x93},
    {"Options", "Add_No", &Settings::Add_No},
    {"Setting", "StartChar_Type", &Settings::StartChar_Type},
    {"Setting", "EndChar_Type", &Settings::EndChar_Type},
    {"Options", "Power_Off", &Settings::Power_Off},
    {"Options", "Send_SP_Cut", &Settings::Send_SP_Cut},
    {"Options", "Read_SP_Cut", &Settings::Read_SP_Cut},
    {"Options", "Send_Before", &Settings::Send_Before},
    {"Options", "AutoSelect", &Settings::AutoSelect},
    {"Setting", "SendMsg1", &Settings::SendMsg1},
    {"Setting", "R_Code", &Settings::R_Code},
    {"Options", "MSG_OP", &Settings::MSG_OP},
    {"Options", "op2", &Settings::op2},
    {"Options", "op3", &Settings::op3},
    {"Options", "op4", &Settings::op4},
    {"Options", "op5", &Settings::op5},
    {"Options", "op6", &Settings::op6},
    {"Options", "WinVer", &Settings::WinVer},
    {"Setting", "ModemePort1", &Settings::ModemePort1},
    {"Setting", "ModemePort2", &Settings::ModemePort2},
    {"Options", "PlotNoDecimal", &Settings::PlotNoDecimal},
    {"Options", "KeepRevisions", &Settings::KeepRevisions},
};

}  // namespace wexal
