#include "serial/transfer_end.h"

#include <gtest/gtest.h>

namespace wexal {
namespace {

// What a receive counts as for the exit status.
TEST(TransferEndTest, AReceiveCompletesOnlyWhenItSavedAProgram) {
    struct Row {
        ReceiveEnd end;
        bool savedNothing;
        bool portOpened;
        TransferEnd counted;
    };
    const Row rows[] = {
        {ReceiveEnd::Completed, false, true, TransferEnd::Completed},
        {ReceiveEnd::Completed, true, true, TransferEnd::Aborted},  // only "%" lines
        {ReceiveEnd::Aborted, false, true, TransferEnd::Aborted},
        {ReceiveEnd::Failed, true, true, TransferEnd::Aborted},
        {ReceiveEnd::Aborted, true, false, TransferEnd::NotStarted},
        {ReceiveEnd::Failed, true, false, TransferEnd::NotStarted},
    };
    for (const Row& row : rows) {
        ReceiveResult result;
        result.end = row.end;
        result.savedNothing = row.savedNothing;
        EXPECT_EQ(EndOfReceive(result, row.portOpened), row.counted)
            << static_cast<int>(row.end) << row.savedNothing << row.portOpened;
    }
}

}  // namespace
}  // namespace wexal
