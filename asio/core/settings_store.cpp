#include "asio/core/settings_store.h"

#include "asio/core/registry_key.h"
#include "asio/core/status_block.h"
#include "common/buffer_durations.h"

namespace veltrano::asio {

uint32_t LoadSettings(StatusBlock& block) {
    // Missing keys and values fall back to the defaults one by one.
    const RegistryKey parent = RegistryKey::Open(HKEY_CURRENT_USER, kAsioKey);
    const RegistryKey key = RegistryKey::Open(parent.Get(), kDriverKeyName);
    const uint32_t sampleRate = key.ReadDword("SampleRate").value_or(kDefaultSampleRate);
    if (block.Present() && block.Read(&AsioStatusBlock::settingsLoaded) == 0) {
        block.Write(&AsioStatusBlock::bufferSizeSetting,
                    key.ReadDword("BufferSize").value_or(kDefaultBufferSizeSetting));
        block.Write(&AsioStatusBlock::bitsPerSampleSetting,
                    key.ReadDword("BitsPerSample").value_or(kDefaultBitsSetting));
        block.Write(&AsioStatusBlock::supportedRates,
                    key.ReadDword("SupportSampleRate").value_or(kDefaultMask));
        block.Write(&AsioStatusBlock::supportedBits,
                    key.ReadDword("SupporBitsPerSample").value_or(kDefaultMask));
        block.Write(&AsioStatusBlock::settingsLoaded, 1);
        block.Write(&AsioStatusBlock::changed, 1);
    }
    return sampleRate;
}

void SaveSettings(uint32_t pcmRate, const StatusBlock& block) {
    const RegistryKey parent = RegistryKey::Create(HKEY_CURRENT_USER, kAsioKey);
    const RegistryKey key = RegistryKey::Create(parent.Get(), kDriverKeyName);
    if (!key) return;
    key.WriteDword("SampleRate", pcmRate);
    if (block.Present() && block.Read(&AsioStatusBlock::settingsLoaded) == 1) {
        key.WriteDword("BufferSize", block.Read(&AsioStatusBlock::bufferSizeSetting));
        key.WriteDword("BitsPerSample", block.Read(&AsioStatusBlock::bitsPerSampleSetting));
        key.WriteDword("SupportSampleRate", block.Read(&AsioStatusBlock::supportedRates));
        key.WriteDword("SupporBitsPerSample", block.Read(&AsioStatusBlock::supportedBits));
    }
}

}  // namespace veltrano::asio
