#include "config/command_line.h"

namespace wexal {

void CollectArguments(const std::vector<std::string>& args, Settings& settings, AppState& state,
                      MessageService& messages) {
    if (args.empty()) {
        state.CommandLineMode = "N";
        state.SendOnStart = "N";
        state.ReceiveOnStart = "N";
        return;
    }
    state.CommandLineMode = "Y";
    for (const std::string& arg : args) HandleArgument(arg, settings, state, messages);
}

void HandleArgument(const std::string&, Settings&, AppState&, MessageService&) {}

}  // namespace wexal
