#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/message_service.h"

namespace wexal {

// Moves one entry (a file, a folder with its contents, or a link itself) to
// the desktop trash; false where the trash cannot take it.
using MoveToTrash = std::function<bool(const std::string& path)>;

struct DeleteItem {
    std::string name;  // exact bytes, in the folder
    bool folder = false;
};

struct DeleteOutcome {
    // Answered No (or nothing could be deleted and the operator declined the
    // permanent delete): the list stays as it was, without a refresh.
    bool aborted = false;
    std::vector<std::string> failures;  // "path : reason" of entries left in place
};

// D and F3: one question of ours, then every item to the trash. Items the
// trash refuses are offered for a permanent delete in a second question that
// says so; that delete never follows a link out of a folder. A failure is
// told in a box naming the entry and the reason.
DeleteOutcome DeleteEntries(const std::string& folder, const std::vector<DeleteItem>& items,
                            MessageService& messages, const MoveToTrash& moveToTrash);

}  // namespace wexal
