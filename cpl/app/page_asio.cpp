#include "cpl/app/page_asio.h"

#include "common/contract/registry_key.h"
#include "common/contract/settings_store.h"
#include "cpl/app/asio_view.h"
#include "cpl/app/panel_tables.h"
#include "cpl/common/cpl_messages.h"

namespace veltrano::cpl {

using Block = AsioStatusBlock;

CPPageASIO::~CPPageASIO() {
    SaveSettings();
    m_block.Close();
}

int CPPageASIO::Init() {
    for (const char* name :
         {"TXT_ASIOSTATUS", "TXT_ASIOPCM", "TXT_ASIODSD", "TXT_ASIODSD128", "TXT_ASIODSD256"}) {
        m_skin.ShowLabel(name, FALSE);
    }
    // The creator zeroes the block and writes the magic; it then fills the
    // settings from the user's store, as a driver would.
    if (m_block.Open()) LoadSettings(m_block);
    if (m_block.Present()) Refresh();
    return 1;
}

void CPPageASIO::Refresh() {
    if (!m_block.Present()) return;
    const uint32_t state = m_block.Read(&Block::state);
    const AsioStateTexts texts = StateTexts(state);
    m_skin.SetLabelText("TXT_ASIOSTATE", texts.state);
    char name[kStatusDeviceNameSize];
    m_block.ReadDeviceName(name);
    m_skin.SetLabelText("TXT_ASIODEVICE", texts.showDeviceName ? name : kNotAvailable);

    const uint32_t supported = m_block.Read(&Block::supportedBits);
    m_skin.ShowButton("BTN_ASIO_16B", (supported >> 1) & 1);
    m_skin.ShowButton("BTN_ASIO_24B", (supported >> 2) & 1);
    m_skin.ShowButton("BTN_ASIO_32B", (supported >> 3) & 1);

    for (const char* button : kAsioBitsButtons) m_skin.SetButtonCheck(button, FALSE);
    const uint32_t bits = m_block.Read(&Block::bitsPerSampleSetting);
    const uint32_t keptBits = NormalisedBitsSetting(bits);
    if (keptBits != bits) m_block.Write(&Block::bitsPerSampleSetting, keptBits);
    for (int i = 0; i < kAsioBitsCount; ++i) {
        if (kAsioBits[i] == keptBits) m_skin.SetButtonCheck(kAsioBitsButtons[i], TRUE);
    }

    for (const char* button : kAsioBufferButtons) m_skin.SetButtonCheck(button, FALSE);
    const int buffer = BufferButtonIndex(m_block.Read(&Block::bufferSizeSetting));
    if (buffer >= 0) m_skin.SetButtonCheck(kAsioBufferButtons[buffer], TRUE);

    if (state == kStatusRunning) {
        char line[96];
        FormatStatusLine(m_block.Read(&Block::bitsPerSample), m_block.Read(&Block::sampleRate),
                         m_block.Read(&Block::bufferSize), line, sizeof line);
        m_skin.SetLabelText("TXT_ASIOSTATUS", line);
        m_skin.ShowLabel("TXT_ASIOSTATUS", TRUE);
        const FormatIndicator shown =
            IndicatorFor(m_block.Read(&Block::dsdActive), m_block.Read(&Block::dsd128),
                         m_block.Read(&Block::dsd256));
        for (int i = 0; i < 4; ++i) {
            m_skin.ShowLabel(kIndicatorLabels[i], static_cast<int>(shown) == i);
        }
    } else {
        m_skin.ShowLabel("TXT_ASIOSTATUS", FALSE);
        for (const char* label : kIndicatorLabels) m_skin.ShowLabel(label, FALSE);
    }
}

void CPPageASIO::ApplyBitDepth() {
    if (!m_block.Present()) return;
    for (int i = 0; i < kAsioBitsCount; ++i) {
        if (m_skin.GetButtonCheck(kAsioBitsButtons[i])) {
            m_block.Write(&Block::bitsPerSampleSetting, kAsioBits[i]);
            return;
        }
    }
}

UINT CPPageASIO::PendingCommand() {
    if (!m_block.Present() || m_block.Read(&Block::changed) == 0) return 0;
    m_block.Write(&Block::changed, 0);
    if (m_block.Read(&Block::showPanelRequest) != 0) {
        m_block.Write(&Block::showPanelRequest, 0);
        return ID_CPL_SHOW_ASIO;
    }
    return ID_CPL_REFRESH_ASIO;
}

void CPPageASIO::SaveSettings() {
    if (!m_block.Present() || m_block.Read(&Block::settingsLoaded) != 1) return;
    const auto parent = RegistryKey::Create(HKEY_CURRENT_USER, kAsioKey);
    const auto key = RegistryKey::Create(parent.Get(), kDriverKeyName);
    if (!key) return;
    key.WriteDword(kBufferSizeValue, m_block.Read(&Block::bufferSizeSetting));
    key.WriteDword(kBitsPerSampleValue, m_block.Read(&Block::bitsPerSampleSetting));
}

}  // namespace veltrano::cpl
