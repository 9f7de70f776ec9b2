#include "config/run_outcome.h"

namespace wexal {

void RunOutcome::Record(TransferEnd end) {
    switch (end) {
        case TransferEnd::Completed:
            ++completed_;
            break;
        case TransferEnd::Aborted:
            ++aborted_;
            break;
        case TransferEnd::NotStarted:
            ++notStarted_;
            break;
    }
}

int RunOutcome::ExitStatus() const {
    if (!requested_) return kExitCompleted;
    if (aborted_ > 0) return kExitAborted;
    if (notStarted_ > 0 || completed_ == 0) return kExitNotStarted;
    return kExitCompleted;
}

bool RunOutcome::EndsNow(bool exitAfterTransfer, bool unattended) const {
    return exitAfterTransfer && requested_ && (unattended || ExitStatus() == kExitNotStarted);
}

}  // namespace wexal
