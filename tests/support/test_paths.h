#pragma once

#include <string>

namespace wexal::test {

// Where the tests find their data and the programs built beside them. The
// build writes these into one generated source file, so that no absolute path
// stands on a compile line and a clone in another folder still hits the
// compiler cache.
const std::string& TestDataDir();    // tests/data in the source tree
const std::string& BinDir();         // the build's bin folder
const std::string& WindowsBinDir();  // the Windows build's bin folder, for the runs under Wine
const std::string& ScreenshotDir();  // where the window tests leave their pictures

}  // namespace wexal::test
