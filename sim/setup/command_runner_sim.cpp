#include "sim/setup/setup_sim.h"

namespace sim::setup {

bool RecordingCommandRunner::Launch(LaunchVerb verb, const std::string& file, const std::string& parameters) {
    launches.push_back({verb, file, parameters});
    return !failLaunches;
}

int ScriptedRestartControl::AskQuestion(const char* text, const char* caption, UINT type) {
    questions.push_back({text ? text : "", caption ? caption : "", type});
    return answer;
}

bool ScriptedRestartControl::SetShutdownPrivilege(bool enable) {
    privilegeChanges.push_back(enable);
    return privilegeAvailable;
}

bool ScriptedRestartControl::InitiateShutdown(const char* message, DWORD timeoutSeconds, bool forceAppsClosed,
                                              bool rebootAfterShutdown) {
    shutdowns.push_back({message ? message : "", timeoutSeconds, forceAppsClosed, rebootAfterShutdown});
    return true;
}

}  // namespace sim::setup
