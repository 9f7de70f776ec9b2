#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "files/key_dispatch.h"
#include "nctools/tool_progress.h"
#include "nctools/tool_result.h"
#include "platform/message_service.h"
#include "revisions/revision_store.h"

namespace wexal {

// The output name: the typed name, followed by the extension unless the name
// already holds the extension text anywhere (case-sensitive): "ALL" and
// "ALL.NC" give ALL.NC, "all.nc" gives all.nc.NC.
std::string JoinOutputName(std::string_view typed, std::string_view extension);

// The box for a name that holds a character the name box refuses at its key,
// as a name taken from NAME.lst may: "../x" would lead out of the folder.
// nullopt when the name is taken.
std::optional<BoxMessage> RefusedJoinName(std::string_view typed);

// The output would overwrite one of the files to join: its name is one of
// theirs (exact comparison), or it is the same file on disk under another name.
bool JoinOutputIsInput(const std::filesystem::path& folder, const std::string& outputName,
                       const std::vector<std::string>& names);

// Appends every line of text with CR LF after it.
void AppendLines(std::string& out, std::string_view text);

// Called with the index of each file as it is joined (the list selects it).
using JoinSelect = std::function<void(int index)>;

// Joins folder/names in their order into folder/outputName: each file is
// read as the transfer view reads it (ProgramStream, with its question for
// a file that does not look like text) and contributes its lines with CR LF.
// The output is written whole at the end through a temporary name, so a file
// that cannot be read, a cancel or a failed write leave any earlier file of
// that name as it was; a link of that name is replaced, never written
// through. A file it replaces is kept as a revision as `revisions` says. Refused when the output is one of the inputs.
ToolResult JoinFiles(const std::filesystem::path& folder, const std::vector<std::string>& names,
                     const std::string& outputName, MessageService& messages,
                     const JoinSelect& select = {}, ToolProgress* progress = nullptr,
                     const RevisionPolicy& revisions = {});

}  // namespace wexal
