#include "common/contract/settings_store.h"

#include "common/buffer_durations.h"
#include "common/contract/registry_key.h"
#include "common/contract/status_block.h"

namespace veltrano {

uint32_t LoadSettings(StatusBlock& block) {
    // Missing keys and values fall back to the defaults one by one.
    const RegistryKey parent = RegistryKey::Open(HKEY_CURRENT_USER, kAsioKey);
    const RegistryKey key = RegistryKey::Open(parent.Get(), kDriverKeyName);
    const uint32_t sampleRate = key.ReadDword(kSampleRateValue).value_or(kDefaultSampleRate);
    if (block.Present() && block.Read(&AsioStatusBlock::settingsLoaded) == 0) {
        block.Write(&AsioStatusBlock::bufferSizeSetting,
                    key.ReadDword(kBufferSizeValue).value_or(kDefaultBufferSizeSetting));
        block.Write(&AsioStatusBlock::bitsPerSampleSetting,
                    key.ReadDword(kBitsPerSampleValue).value_or(kDefaultBitsSetting));
        block.Write(&AsioStatusBlock::supportedRates,
                    key.ReadDword(kSupportedRatesValue).value_or(kDefaultMask));
        block.Write(&AsioStatusBlock::supportedBits,
                    key.ReadDword(kSupportedBitsValue).value_or(kDefaultMask));
        block.Write(&AsioStatusBlock::settingsLoaded, 1);
        block.Write(&AsioStatusBlock::changed, 1);
    }
    return sampleRate;
}

void SaveSettings(uint32_t pcmRate, const StatusBlock& block) {
    const RegistryKey parent = RegistryKey::Create(HKEY_CURRENT_USER, kAsioKey);
    const RegistryKey key = RegistryKey::Create(parent.Get(), kDriverKeyName);
    if (!key) return;
    key.WriteDword(kSampleRateValue, pcmRate);
    if (block.Present() && block.Read(&AsioStatusBlock::settingsLoaded) == 1) {
        key.WriteDword(kBufferSizeValue, block.Read(&AsioStatusBlock::bufferSizeSetting));
        key.WriteDword(kBitsPerSampleValue, block.Read(&AsioStatusBlock::bitsPerSampleSetting));
        key.WriteDword(kSupportedRatesValue, block.Read(&AsioStatusBlock::supportedRates));
        key.WriteDword(kSupportedBitsValue, block.Read(&AsioStatusBlock::supportedBits));
    }
}

}  // namespace veltrano
