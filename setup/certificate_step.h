#pragma once
// The publisher certificate in the machine's root and trusted-publisher
// stores, through the certificate tool the co-installer carries and writes
// out beside the certificate in the package folder.

#include "setup/setup_context.h"

namespace veltrano::setup {

inline constexpr char kCertificateFile[] = "NewCert.cer";
inline constexpr char kCertToolFile[] = "CertMgr.EXE";
inline constexpr DWORD kCertificateStepWaitMs = 2000;
// How long the clean-up waits for the tool to finish before deleting it.
inline constexpr DWORD kCertToolFinishWaitMs = 60000;

// Install mode: writes both files and adds the certificate to both stores.
// False when a file could not be written or the tool cannot be started;
// the run then ends.
bool InstallCertificate(SetupContext& context);

// Uninstall mode: writes both files again and deletes the certificate from
// both stores. The tool deletes only a certificate with exactly this
// content. Failures are noted; the run goes on.
void RemoveCertificate(SetupContext& context);

// Deletes both files through the delete command, once the commands started
// before have ended: the fixed waits alone may not give a slow tool time to
// let go of its files.
void DeleteCertificateFiles(SetupContext& context);

}  // namespace veltrano::setup
