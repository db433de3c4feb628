#pragma once
// The platform headers of the kernel-streaming code. ks.h, ksmedia.h and
// setupapi.h do not include what they depend on, so the order is fixed here.

// clang-format off
#include <windows.h>
#include <mmreg.h>
#include <ks.h>
#include <ksmedia.h>
#include <setupapi.h>
// clang-format on
