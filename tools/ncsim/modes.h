#pragma once

#include "line.h"
#include "options.h"
#include "pty_port.h"
#include "report.h"

namespace ncsim {

// Each returns the exit status and fills the report; files given on the
// command line are written before they return.
int RunReceive(const Options& options, Line& port, Report& report);
int RunPunch(const Options& options, Line& port, Report& report);

}  // namespace ncsim
