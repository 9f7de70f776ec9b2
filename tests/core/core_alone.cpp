// Links wexal_core and nothing of Qt: the layer a server or a command-line
// tool builds on. It also checks that what it calls works without a window.
#include <cstdio>

#include "platform/fit_text.h"
#include "platform/text_codec.h"
#include "serial/speed_text.h"

int main() {
    const wexal::SpeedTextResult speed = wexal::ParseSpeedText("9600,7,E,2");
    const bool ok = speed.ok() && speed.format.baud == 9600 && wexal::Cp932Width("ﾃｽﾄ加工") == 7 &&
                    wexal::FitMiddle("ABCDEFGHIJ", 6) == "AB…IJ";
    std::puts(ok ? "wexal_core works alone" : "wexal_core gave wrong answers");
    return ok ? 0 : 1;
}
