#pragma once

#include "config/run_outcome.h"
#include "serial/receive_engine.h"
#include "serial/send_engine.h"

namespace wexal {

// What a send came to for the exit status: a queue with a file that could
// not be read did not complete, however the rest went.
TransferEnd EndOfSend(SendOutcome outcome, const SendState& state);

// What a receive came to for the exit status: one that saved no program did
// not complete; one that never had its port open never started.
TransferEnd EndOfReceive(const ReceiveResult& result, bool portOpened);

}  // namespace wexal
