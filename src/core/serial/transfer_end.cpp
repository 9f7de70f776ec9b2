#include "serial/transfer_end.h"

namespace wexal {

TransferEnd EndOfSend(SendOutcome outcome, const SendState& state) {
    switch (outcome) {
        case SendOutcome::Completed:
            return state.unsentFiles.empty() ? TransferEnd::Completed : TransferEnd::Aborted;
        case SendOutcome::NotStarted:
            return TransferEnd::NotStarted;
        case SendOutcome::Aborted:
        case SendOutcome::Failed:
            break;
    }
    return TransferEnd::Aborted;
}

TransferEnd EndOfReceive(const ReceiveResult& result, bool portOpened) {
    if (!portOpened) return TransferEnd::NotStarted;
    if (result.end != ReceiveEnd::Completed || result.savedNothing) return TransferEnd::Aborted;
    return TransferEnd::Completed;
}

}  // namespace wexal
