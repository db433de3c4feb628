#pragma once
// The steps that change the system outside the driver store: the ASIO
// driver registration, the control panel's autorun entry and the restart.

#include "setup/setup_context.h"

namespace veltrano::setup {

inline constexpr char kRunKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
inline constexpr char kRestartCaption[] = "System restart required";
extern const char kRestartQuestion[];
inline constexpr char kShutdownMessage[] = "System will be restarted in 60 seconds!";

// Registers (install) or unregisters (uninstall) the ASIO driver through
// RegSvr32: the package folder's DLL and, on 64-bit Windows, the one in its
// "x64\" folder.
void RegisterAsioDriver(SetupContext& context);

// Sets (install) or deletes (uninstall) the Run value that starts the
// control panel.
void UpdateAutorun(SetupContext& context);

// Asks whether to restart now; only an explicit Yes restarts.
void OfferRestart(SetupContext& context);

}  // namespace veltrano::setup
