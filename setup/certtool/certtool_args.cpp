#include "setup/certtool/certtool_args.h"

#include "setup/setup_text.h"

namespace veltrano::certtool {

std::optional<Command> ParseArguments(const std::vector<std::string>& args) {
    if (args.size() != 6) return std::nullopt;
    Command command{};
    if (args[0] == "-add") {
        command.action = Action::Add;
    } else if (args[0] == "-del") {
        command.action = Action::Delete;
    } else {
        return std::nullopt;
    }
    if (args[1].empty() || args[2] != "-s" || args[3] != "-r") return std::nullopt;
    if (setup::UpperAscii(args[4]) != "LOCALMACHINE") return std::nullopt;
    const std::string store = setup::UpperAscii(args[5]);
    if (store == "ROOT") {
        command.store = Store::Root;
    } else if (store == "TRUSTEDPUBLISHER") {
        command.store = Store::TrustedPublisher;
    } else {
        return std::nullopt;
    }
    command.file = args[1];
    return command;
}

const char* StoreName(Store store) { return store == Store::Root ? "Root" : "TrustedPublisher"; }

}  // namespace veltrano::certtool
