// Compiled into a `_sim` program: opens the control channel when the
// program starts.

#include "sim/devchange/control_channel.h"

namespace {

struct StartControl {
    StartControl() { sim::StartControlChannel(); }
};

StartControl g_startControl;

}  // namespace
