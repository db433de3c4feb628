#pragma once
// The certificate tool's command line. It takes exactly
//   -add "<file>" -s -r localmachine root
//   -add "<file>" -s -r localmachine trustedpublisher
// and the same with -del; the store names are taken in any case.

#include <optional>
#include <string>
#include <vector>

namespace veltrano::certtool {

enum class Action { Add, Delete };
enum class Store { Root, TrustedPublisher };

struct Command {
    Action action;
    std::string file;
    Store store;
};

// `args` are the arguments after the program name.
std::optional<Command> ParseArguments(const std::vector<std::string>& args);

// The system store name crypt32 knows the store by.
const char* StoreName(Store store);

// Exit codes, one per way of failing.
enum ExitCode : int {
    kExitOk = 0,
    kExitUsage = 1,
    kExitFileUnreadable = 2,
    kExitNotACertificate = 3,
    kExitStoreUnavailable = 4,
    kExitStoreChangeFailed = 5,
    kExitCommitFailed = 6,
    kExitNotInStore = 7,
};

}  // namespace veltrano::certtool
