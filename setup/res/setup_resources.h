#pragma once
// Resource identifiers of the files PkgSetup carries.
#define IDR_PUBLISHER_CERT 101
#define IDR_CERTTOOL_X86 102
#define IDR_CERTTOOL_X64 103
