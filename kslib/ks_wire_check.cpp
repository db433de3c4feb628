// The portable reply layouts must be the platform's own.

#include <cstddef>

#include "kslib/ks_wire.h"
#include "platform/win32_headers.h"

static_assert(sizeof(kswire::Guid) == sizeof(GUID));
static_assert(sizeof(kswire::Identifier) == sizeof(KSPROPERTY));
static_assert(sizeof(kswire::Identifier) == sizeof(KSPIN_INTERFACE));
static_assert(sizeof(kswire::MultipleItem) == sizeof(KSMULTIPLE_ITEM));
static_assert(sizeof(kswire::DataRange) == sizeof(KSDATARANGE));
static_assert(sizeof(kswire::DataRangeAudio) == sizeof(KSDATARANGE_AUDIO));
static_assert(offsetof(kswire::DataRangeAudio, MaximumChannels) ==
              offsetof(KSDATARANGE_AUDIO, MaximumChannels));
static_assert(offsetof(kswire::DataRangeAudio, MaximumSampleFrequency) ==
              offsetof(KSDATARANGE_AUDIO, MaximumSampleFrequency));
static_assert(sizeof(KSP_PIN) == 32);
static_assert(sizeof(WAVEFORMATEX) == 18);
static_assert(sizeof(KSDATAFORMAT) == 64);
#ifdef _WIN64
static_assert(sizeof(KSPIN_CONNECT) == 72);
static_assert(sizeof(KSSTREAM_HEADER) == 56);
#endif
static_assert(IOCTL_KS_PROPERTY == 0x2F0003);
static_assert(IOCTL_KS_WRITE_STREAM == 0x2F8013);
static_assert(IOCTL_KS_READ_STREAM == 0x2F4017);
static_assert(IOCTL_KS_RESET_STATE == 0x2F001B);
