#pragma once

#include "options.h"
#include "pty_port.h"
#include "report.h"

namespace ncsim {

// Each returns the exit status and fills the report; files given on the
// command line are written before they return.
int RunReceive(const Options& options, PtyPort& port, Report& report);
int RunPunch(const Options& options, PtyPort& port, Report& report);

}  // namespace ncsim
