#pragma once
// The ASIO binary interface, declared from its published layout.
//
// Calling conventions matter on 32-bit Windows, where hosts are built with
// the platform's own compiler:
//  - IASIO's own methods are plain C++ virtual member functions, which that
//    compiler calls as thiscall (this in ECX, callee pops). g++ for
//    i686-w64-mingw32 compiles member functions as thiscall too, so the
//    methods below carry no convention keyword.
//  - The three IUnknown methods are stdcall, as in every COM interface; they
//    come from the platform's IUnknown declaration.
//  - The ASIOCallbacks members are plain C function pointers: cdecl.
// On 64-bit Windows there is a single convention.
//
// Hosts compile the records with 4-byte packing, and `long` is 32 bits on
// both Windows targets, so every size below holds in both builds.

#include <objbase.h>
#include <unknwn.h>

#include <cstddef>

#define VELTRANO_ASIO_CALLBACK __cdecl

extern "C" {

typedef long ASIOError;
typedef long ASIOBool;
typedef long ASIOSampleType;
typedef double ASIOSampleRate;

enum : long { ASIOFalse = 0, ASIOTrue = 1 };

enum : long {
    ASE_OK = 0,
    ASE_SUCCESS = 0x3f4847a0,
    ASE_NotPresent = -1000,
    ASE_HWMalfunction = -999,
    ASE_InvalidParameter = -998,
    ASE_InvalidMode = -997,
    ASE_SPNotAdvancing = -996,
    ASE_NoClock = -995,
    ASE_NoMemory = -994,
};

enum : long {
    ASIOSTInt16MSB = 0,
    ASIOSTInt24MSB = 1,
    ASIOSTInt32MSB = 2,
    ASIOSTFloat32MSB = 3,
    ASIOSTFloat64MSB = 4,
    ASIOSTInt32MSB16 = 8,
    ASIOSTInt32MSB18 = 9,
    ASIOSTInt32MSB20 = 10,
    ASIOSTInt32MSB24 = 11,
    ASIOSTInt16LSB = 16,
    ASIOSTInt24LSB = 17,
    ASIOSTInt32LSB = 18,
    ASIOSTFloat32LSB = 19,
    ASIOSTFloat64LSB = 20,
    ASIOSTInt32LSB16 = 24,
    ASIOSTInt32LSB18 = 25,
    ASIOSTInt32LSB20 = 26,
    ASIOSTInt32LSB24 = 27,
    ASIOSTDSDInt8LSB1 = 32,
    ASIOSTDSDInt8MSB1 = 33,
    ASIOSTDSDInt8NER8 = 40,
};

// asioMessage selectors.
enum : long {
    kAsioSelectorSupported = 1,
    kAsioEngineVersion = 2,
    kAsioResetRequest = 3,
    kAsioBufferSizeChange = 4,
    kAsioResyncRequest = 5,
    kAsioLatenciesChanged = 6,
    kAsioSupportsTimeInfo = 7,
    kAsioSupportsTimeCode = 8,
    kAsioMMCCommand = 9,
    kAsioSupportsInputMonitor = 10,
    kAsioSupportsInputGain = 11,
    kAsioSupportsInputMeter = 12,
    kAsioSupportsOutputGain = 13,
    kAsioSupportsOutputMeter = 14,
    kAsioOverload = 15,
};

// future() selectors.
enum : long {
    kAsioEnableTimeCodeRead = 1,
    kAsioDisableTimeCodeRead = 2,
    kAsioSetInputMonitor = 3,
    kAsioTransport = 4,
    kAsioSetInputGain = 5,
    kAsioGetInputMeter = 6,
    kAsioSetOutputGain = 7,
    kAsioGetOutputMeter = 8,
    kAsioCanInputMonitor = 9,
    kAsioCanTimeInfo = 10,
    kAsioCanTimeCode = 11,
    kAsioCanTransport = 12,
    kAsioCanInputGain = 13,
    kAsioCanInputMeter = 14,
    kAsioCanOutputGain = 15,
    kAsioCanOutputMeter = 16,
    kAsioOptionalOne = 17,
    kAsioSetIoFormat = 0x23111961,
    kAsioGetIoFormat = 0x23111983,
    kAsioCanDoIoFormat = 0x23112004,
    kAsioCanReportOverload = 0x24042012,
    kAsioGetInternalBufferSamples = 0x25042012,
    kAsioSupportsInputResampling = 0x26092017,
};

typedef long ASIOIoFormatType;
enum : long { kASIOFormatInvalid = -1, kASIOPCMFormat = 0, kASIODSDFormat = 1 };

// Time-info flags.
enum : unsigned long {
    kSystemTimeValid = 1,
    kSamplePositionValid = 2,
    kSampleRateValid = 4,
    kSpeedValid = 8,
    kSampleRateChanged = 16,
    kClockSourceChanged = 32,
};

// Time-code flags.
enum : unsigned long {
    kTcValid = 1,
    kTcRunning = 2,
    kTcReverse = 4,
    kTcOnspeed = 8,
    kTcStill = 16,
    kTcSpeedValid = 0x100,
};

#pragma pack(push, 4)

// 64-bit quantities as two 32-bit halves, high word first.
struct ASIOSamples {
    unsigned long hi;
    unsigned long lo;
};

struct ASIOTimeStamp {
    unsigned long hi;
    unsigned long lo;
};

struct AsioTimeInfo {
    double speed;
    ASIOTimeStamp systemTime;
    ASIOSamples samplePosition;
    ASIOSampleRate sampleRate;
    unsigned long flags;
    char reserved[12];
};

struct ASIOTimeCode {
    double speed;
    ASIOSamples timeCodeSamples;
    unsigned long flags;
    char future[64];
};

struct ASIOTime {
    long reserved[4];
    AsioTimeInfo timeInfo;
    ASIOTimeCode timeCode;
};

struct ASIOClockSource {
    long index;
    long associatedChannel;
    long associatedGroup;
    ASIOBool isCurrentSource;
    char name[32];
};

struct ASIOChannelInfo {
    long channel;
    ASIOBool isInput;
    ASIOBool isActive;
    long channelGroup;
    ASIOSampleType type;
    char name[32];
};

struct ASIOBufferInfo {
    ASIOBool isInput;
    long channelNum;
    void* buffers[2];
};

struct ASIOIoFormat {
    ASIOIoFormatType FormatType;
    char future[512 - sizeof(ASIOIoFormatType)];
};

struct ASIOCallbacks {
    void(VELTRANO_ASIO_CALLBACK* bufferSwitch)(long doubleBufferIndex, ASIOBool directProcess);
    void(VELTRANO_ASIO_CALLBACK* sampleRateDidChange)(ASIOSampleRate sRate);
    long(VELTRANO_ASIO_CALLBACK* asioMessage)(long selector, long value, void* message,
                                               double* opt);
    ASIOTime*(VELTRANO_ASIO_CALLBACK* bufferSwitchTimeInfo)(ASIOTime* params,
                                                            long doubleBufferIndex,
                                                            ASIOBool directProcess);
};

#pragma pack(pop)

}  // extern "C"

// The driver interface. Hosts skip QueryInterface and use the pointer that
// CoCreateInstance returns as IASIO*, so the slot order below is the contract:
// IUnknown's three, then init ... outputReady.
struct IASIO : public IUnknown {
    virtual ASIOBool init(void* sysHandle) = 0;
    virtual void getDriverName(char* name) = 0;
    virtual long getDriverVersion() = 0;
    virtual void getErrorMessage(char* string) = 0;
    virtual ASIOError start() = 0;
    virtual ASIOError stop() = 0;
    virtual ASIOError getChannels(long* numInputChannels, long* numOutputChannels) = 0;
    virtual ASIOError getLatencies(long* inputLatency, long* outputLatency) = 0;
    virtual ASIOError getBufferSize(long* minSize, long* maxSize, long* preferredSize,
                                    long* granularity) = 0;
    virtual ASIOError canSampleRate(ASIOSampleRate sampleRate) = 0;
    virtual ASIOError getSampleRate(ASIOSampleRate* sampleRate) = 0;
    virtual ASIOError setSampleRate(ASIOSampleRate sampleRate) = 0;
    virtual ASIOError getClockSources(ASIOClockSource* clocks, long* numSources) = 0;
    virtual ASIOError setClockSource(long reference) = 0;
    virtual ASIOError getSamplePosition(ASIOSamples* sPos, ASIOTimeStamp* tStamp) = 0;
    virtual ASIOError getChannelInfo(ASIOChannelInfo* info) = 0;
    virtual ASIOError createBuffers(ASIOBufferInfo* bufferInfos, long numChannels, long bufferSize,
                                    ASIOCallbacks* callbacks) = 0;
    virtual ASIOError disposeBuffers() = 0;
    virtual ASIOError controlPanel() = 0;
    virtual ASIOError future(long selector, void* opt) = 0;
    virtual ASIOError outputReady() = 0;
};

// Layout checks: these are what hosts built elsewhere rely on.
static_assert(sizeof(long) == 4, "ASIO longs are 32 bits on Windows");
static_assert(sizeof(ASIOSamples) == 8 && offsetof(ASIOSamples, hi) == 0 &&
              offsetof(ASIOSamples, lo) == 4);
static_assert(sizeof(ASIOTimeStamp) == 8 && offsetof(ASIOTimeStamp, hi) == 0 &&
              offsetof(ASIOTimeStamp, lo) == 4);
static_assert(sizeof(AsioTimeInfo) == 48);
static_assert(offsetof(AsioTimeInfo, speed) == 0 && offsetof(AsioTimeInfo, systemTime) == 8 &&
              offsetof(AsioTimeInfo, samplePosition) == 16 &&
              offsetof(AsioTimeInfo, sampleRate) == 24 && offsetof(AsioTimeInfo, flags) == 32 &&
              offsetof(AsioTimeInfo, reserved) == 36);
static_assert(sizeof(ASIOTimeCode) == 84);
static_assert(offsetof(ASIOTimeCode, speed) == 0 && offsetof(ASIOTimeCode, timeCodeSamples) == 8 &&
              offsetof(ASIOTimeCode, flags) == 16 && offsetof(ASIOTimeCode, future) == 20);
static_assert(sizeof(ASIOTime) == 148);
static_assert(offsetof(ASIOTime, timeInfo) == 16 && offsetof(ASIOTime, timeCode) == 64);
static_assert(sizeof(ASIOClockSource) == 48 && offsetof(ASIOClockSource, name) == 16);
static_assert(sizeof(ASIOChannelInfo) == 52);
static_assert(offsetof(ASIOChannelInfo, channel) == 0 && offsetof(ASIOChannelInfo, isInput) == 4 &&
              offsetof(ASIOChannelInfo, isActive) == 8 &&
              offsetof(ASIOChannelInfo, channelGroup) == 12 &&
              offsetof(ASIOChannelInfo, type) == 16 && offsetof(ASIOChannelInfo, name) == 20);
static_assert(offsetof(ASIOBufferInfo, isInput) == 0 && offsetof(ASIOBufferInfo, channelNum) == 4 &&
              offsetof(ASIOBufferInfo, buffers) == 8);
static_assert(sizeof(ASIOBufferInfo) == 8 + 2 * sizeof(void*));  // 16 on 32-bit, 24 on 64-bit
static_assert(sizeof(ASIOIoFormat) == 512 && offsetof(ASIOIoFormat, FormatType) == 0);
static_assert(sizeof(ASIOCallbacks) == 4 * sizeof(void*));
#if defined(_WIN64)
static_assert(sizeof(ASIOBufferInfo) == 24);
#else
static_assert(sizeof(ASIOBufferInfo) == 16);
#endif
