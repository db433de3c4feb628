#include "asio/core/asio_sample.h"
#include "asio/core/control_panel_launch.h"

namespace veltrano::asio {

ASIOError CAsioSample::controlPanel() {
    LaunchControlPanel(m_block.PanelFields());
    return ASE_OK;
}

ASIOError CAsioSample::future(long selector, void* opt) {
    const FutureFlags& f = m_flags;
    auto answer = [](bool flag) { return flag ? ASE_SUCCESS : ASE_NotPresent; };
    auto* format = static_cast<ASIOIoFormat*>(opt);
    switch (selector) {
        case kAsioEnableTimeCodeRead:
        case kAsioDisableTimeCodeRead:
            if (!f.canTimeCode) return ASE_NotPresent;
            m_timeCodeReadEnabled = selector == kAsioEnableTimeCodeRead;
            return ASE_SUCCESS;
        case kAsioSetInputMonitor:
        case kAsioTransport:
        case kAsioSetInputGain:
        case kAsioGetInputMeter:
        case kAsioSetOutputGain:
        case kAsioGetOutputMeter:
            return ASE_NotPresent;
        case kAsioCanInputMonitor:
            return answer(f.canInputMonitor);
        case kAsioCanTimeInfo:
            return answer(f.canTimeInfo);
        case kAsioCanTimeCode:
            return answer(f.canTimeCode);
        case kAsioCanTransport:
            return answer(f.canTransport);
        case kAsioCanInputGain:
            return answer(f.canInputGain);
        case kAsioCanInputMeter:
            return answer(f.canInputMeter);
        case kAsioCanOutputGain:
            return answer(f.canOutputGain);
        case kAsioCanOutputMeter:
            return answer(f.canOutputMeter);
        case kAsioSetIoFormat:
            if (!f.canDoIoFormat) return ASE_NotPresent;
            if (format == nullptr) return ASE_InvalidParameter;
            if (format->FormatType != kASIOPCMFormat && format->FormatType != kASIODSDFormat) {
                format->FormatType = kASIOFormatInvalid;
                return ASE_NotPresent;
            }
            m_ioFormat = format->FormatType;
            return ASE_SUCCESS;
        case kAsioGetIoFormat:
            if (!f.canDoIoFormat) return ASE_NotPresent;
            if (format == nullptr) return ASE_InvalidParameter;
            format->FormatType = m_ioFormat;
            return ASE_SUCCESS;
        case kAsioCanDoIoFormat:
            return answer(f.canDoIoFormat);
        default:
            return ASE_InvalidParameter;
    }
}

}  // namespace veltrano::asio
