// Reading the device format back and applying a rate and depth: the exact
// bytes stored, which keys each Windows kind gets, and refused writes.

#include <audioclient.h>

#include <cstring>
#include <vector>

#include "cpl/endpoint/endpoint_keys.h"
#include "endpoint/endpoint_fixture.h"
#include "platform/audio/audio_seam.h"

namespace veltrano::test {
namespace {

using cpl::kCapture;
using cpl::kRender;

WAVEFORMATEXTENSIBLE Blob(bool render, size_t index, const PROPERTYKEY& key) {
    std::vector<uint8_t> bytes;
    WAVEFORMATEXTENSIBLE format{};
    EXPECT_TRUE(sim::WrittenBlob(render, index, key, &bytes));
    EXPECT_EQ(bytes.size(), sizeof(format));
    if (bytes.size() == sizeof(format)) std::memcpy(&format, bytes.data(), sizeof(format));
    return format;
}

bool Same(const PROPERTYKEY& a, const PROPERTYKEY& b) { return cpl::SameKey(a, b); }

TEST_F(EndpointTest, TwentyFourBitsAt96kWritesThePcmThenTheFloatFormat) {
    auto set = MakeSet(10);
    ASSERT_EQ(ProbeFirst(*set), S_OK);
    ASSERT_EQ(set->ApplyPlaybackFormat(24, 96000), S_OK);

    const WAVEFORMATEXTENSIBLE pcm = Blob(true, 0, cpl::kKeyDeviceFormat);
    EXPECT_EQ(pcm.Format.wFormatTag, WAVE_FORMAT_EXTENSIBLE);
    EXPECT_EQ(pcm.Format.nChannels, 2);
    EXPECT_EQ(pcm.Format.nSamplesPerSec, 96000u);
    EXPECT_EQ(pcm.Format.nBlockAlign, 6);
    EXPECT_EQ(pcm.Format.nAvgBytesPerSec, 576000u);
    EXPECT_EQ(pcm.Format.wBitsPerSample, 24);
    EXPECT_EQ(pcm.Format.cbSize, 22);
    EXPECT_EQ(pcm.Samples.wValidBitsPerSample, 24);
    EXPECT_EQ(pcm.dwChannelMask, 3u);
    EXPECT_TRUE(IsEqualGUID(pcm.SubFormat, cpl::kSubtypePcm));

    const WAVEFORMATEXTENSIBLE mix = Blob(true, 0, cpl::kKeyMixFormat);
    EXPECT_EQ(mix.Format.nSamplesPerSec, 96000u);
    EXPECT_EQ(mix.Format.nBlockAlign, 8);
    EXPECT_EQ(mix.Format.nAvgBytesPerSec, 768000u);
    EXPECT_EQ(mix.Format.wBitsPerSample, 32);
    EXPECT_EQ(mix.Samples.wValidBitsPerSample, 32);
    EXPECT_TRUE(IsEqualGUID(mix.SubFormat, cpl::kSubtypeFloat));
    // The companions carry the same float format.
    const WAVEFORMATEXTENSIBLE companion = Blob(true, 0, cpl::kKeyRenderFloatFormat);
    EXPECT_EQ(std::memcmp(&companion, &mix, sizeof(mix)), 0);
    // The record keeps the last buffer written.
    EXPECT_EQ(std::memcmp(&set->RenderRecord(0)->deviceFormat, &mix, sizeof(mix)), 0);

    uint32_t rate = 0, mask = 0;
    uint16_t bits = 0, channels = 0;
    ASSERT_EQ(set->ReadPlaybackFormat(&rate, &bits, &channels, &mask), S_OK);
    EXPECT_EQ(rate, 96000u);
    EXPECT_EQ(bits, 24);
    EXPECT_EQ(channels, 2);
    EXPECT_EQ(mask, 3u);
    EXPECT_EQ(std::memcmp(&set->RenderRecord(0)->deviceFormat, &pcm, sizeof(pcm)), 0);
}

// The 40 bytes of a stereo WAVEFORMATEXTENSIBLE, spelled out byte by byte
// (little-endian) so a field at the wrong offset or of the wrong width shows.
std::vector<uint8_t> Extensible(uint32_t rate, uint16_t bits, uint8_t subtype) {
    const uint16_t blockAlign = static_cast<uint16_t>(bits / 8 * 2);
    const uint32_t bytesPerSecond = blockAlign * rate;
    auto u16 = [](uint16_t v) { return std::vector<uint8_t>{uint8_t(v), uint8_t(v >> 8)}; };
    auto u32 = [](uint32_t v) {
        return std::vector<uint8_t>{uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16),
                                    uint8_t(v >> 24)};
    };
    std::vector<uint8_t> bytes;
    for (const std::vector<uint8_t>& field :
         {u16(0xFFFE), u16(2), u32(rate), u32(bytesPerSecond), u16(blockAlign), u16(bits), u16(22),
          u16(bits), u32(3),
          std::vector<uint8_t>{subtype, 0, 0, 0, 0, 0, 0x10, 0, 0x80, 0, 0, 0xAA, 0, 0x38, 0x9B,
                               0x71}}) {
        bytes.insert(bytes.end(), field.begin(), field.end());
    }
    return bytes;
}

std::vector<uint8_t> Stored(bool render, const PROPERTYKEY& key) {
    std::vector<uint8_t> bytes;
    EXPECT_TRUE(sim::WrittenBlob(render, 0, key, &bytes));
    return bytes;
}

TEST_F(EndpointTest, TheBytesWrittenAreExactlyThePcmAndFloatFormats) {
    auto set = MakeSet(10);
    ASSERT_EQ(ProbeFirst(*set), S_OK);
    ASSERT_EQ(set->ApplyPlaybackFormat(24, 96000), S_OK);
    ASSERT_EQ(set->ApplyRecordFormat(0, 16, 44100), S_OK);

    const std::vector<uint8_t> pcm24 = {0xFE, 0xFF, 0x02, 0x00, 0x00, 0x77, 0x01, 0x00, 0x00, 0xCA,
                                        0x08, 0x00, 0x06, 0x00, 0x18, 0x00, 0x16, 0x00, 0x18, 0x00,
                                        0x03, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00,
                                        0x10, 0x00, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
    const std::vector<uint8_t> float96 = {
        0xFE, 0xFF, 0x02, 0x00, 0x00, 0x77, 0x01, 0x00, 0x00, 0xB8, 0x0B, 0x00, 0x08, 0x00,
        0x20, 0x00, 0x16, 0x00, 0x20, 0x00, 0x03, 0x00, 0x00, 0x00, 0x03, 0x00, 0x00, 0x00,
        0x00, 0x00, 0x10, 0x00, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
    ASSERT_EQ(Extensible(96000, 24, 1), pcm24);  // the helper agrees with the literal bytes
    ASSERT_EQ(Extensible(96000, 32, 3), float96);

    EXPECT_EQ(Stored(true, cpl::kKeyDeviceFormat), pcm24);
    for (const PROPERTYKEY& key : {cpl::kKeyMixFormat, cpl::kKeyFloatFormat3, cpl::kKeyFloatFormat2,
                                   cpl::kKeyRenderFloatFormat}) {
        EXPECT_EQ(Stored(true, key), float96);
    }
    EXPECT_EQ(Stored(false, cpl::kKeyDeviceFormat), Extensible(44100, 16, 1));
    for (const PROPERTYKEY& key :
         {cpl::kKeyMixFormat, cpl::kKeyFloatFormat3, cpl::kKeyFloatFormat2}) {
        EXPECT_EQ(Stored(false, key), Extensible(44100, 32, 3));
    }
    // The record keeps the float buffer, the last one written.
    const auto* kept = reinterpret_cast<const uint8_t*>(&set->CaptureRecord(0)->deviceFormat);
    EXPECT_EQ(std::vector<uint8_t>(kept, kept + 40), Extensible(44100, 32, 3));
}

struct KeysCase {
    int32_t kind;
    bool render;
    std::vector<PROPERTYKEY> keys;
};

class KeysPerKind : public EndpointTest, public ::testing::WithParamInterface<KeysCase> {};

TEST_P(KeysPerKind, WritesTheKeysOfThatWindowsInOrder) {
    const KeysCase& c = GetParam();
    auto set = MakeSet(c.kind);
    ASSERT_EQ(ProbeFirst(*set), S_OK);
    const HRESULT hr =
        c.render ? set->ApplyPlaybackFormat(16, 44100) : set->ApplyRecordFormat(0, 16, 44100);
    ASSERT_EQ(hr, S_OK);
    const std::vector<PROPERTYKEY> written = sim::WrittenKeys(c.render, 0);
    ASSERT_EQ(written.size(), c.keys.size());
    for (size_t i = 0; i < written.size(); ++i) EXPECT_TRUE(Same(written[i], c.keys[i])) << i;
    EXPECT_TRUE(sim::WrittenKeys(!c.render, 0).empty());
}

const std::vector<PROPERTYKEY> kTwo = {cpl::kKeyDeviceFormat, cpl::kKeyMixFormat};
const std::vector<PROPERTYKEY> kFourRecord = {cpl::kKeyDeviceFormat, cpl::kKeyMixFormat,
                                              cpl::kKeyFloatFormat3, cpl::kKeyFloatFormat2};
const std::vector<PROPERTYKEY> kFivePlayback = {cpl::kKeyDeviceFormat, cpl::kKeyMixFormat,
                                                cpl::kKeyFloatFormat3, cpl::kKeyFloatFormat2,
                                                cpl::kKeyRenderFloatFormat};

INSTANTIATE_TEST_SUITE_P(Kinds, KeysPerKind,
                         ::testing::Values(KeysCase{4, true, kTwo}, KeysCase{4, false, kTwo},
                                           KeysCase{10, true, kFivePlayback},
                                           KeysCase{10, false, kFourRecord},
                                           KeysCase{11, true, kTwo}, KeysCase{11, false, kTwo},
                                           KeysCase{6, true, kFivePlayback},
                                           KeysCase{7, false, kFourRecord}, KeysCase{2, true, kTwo},
                                           KeysCase{9, true, kTwo}));

TEST_F(EndpointTest, ARefusedWriteLeavesTheRecordAndTheDeviceAsTheyWere) {
    auto set = MakeSet(10);
    ASSERT_EQ(ProbeFirst(*set), S_OK);
    const WAVEFORMATEXTENSIBLE before = set->RenderRecord(0)->deviceFormat;
    const WAVEFORMATEXTENSIBLE recordBefore = set->CaptureRecord(0)->deviceFormat;
    sim::DenyPropertyWrites(true);
    EXPECT_EQ(set->ApplyPlaybackFormat(24, 96000), E_ACCESSDENIED);
    EXPECT_EQ(set->ApplyRecordFormat(0, 24, 96000), E_ACCESSDENIED);
    EXPECT_EQ(std::memcmp(&set->RenderRecord(0)->deviceFormat, &before, sizeof(before)), 0);
    EXPECT_EQ(
        std::memcmp(&set->CaptureRecord(0)->deviceFormat, &recordBefore, sizeof(recordBefore)), 0);
    EXPECT_TRUE(sim::WrittenKeys(true, 0).empty());
    EXPECT_TRUE(sim::WrittenKeys(false, 0).empty());
    uint32_t rate = 0, mask = 0;
    uint16_t bits = 0, channels = 0;
    ASSERT_EQ(set->ReadPlaybackFormat(&rate, &bits, &channels, &mask), S_OK);
    EXPECT_EQ(rate, before.Format.nSamplesPerSec);
    sim::DenyPropertyWrites(false);
    EXPECT_EQ(set->ApplyPlaybackFormat(24, 96000), S_OK);
}

// The integer format may already be stored when a companion write is
// refused: the record still holds what it held, and nothing after the
// refusal is attempted.
TEST_F(EndpointTest, AWriteRefusedHalfwayLeavesTheRecordsFormatAndStops) {
    sim::VirtualAudioConfig config;
    config.render[0].control.writesBeforeRefusal = 1;   // the float format is refused
    config.capture[0].control.writesBeforeRefusal = 3;  // the second float companion is
    Configure(config);
    auto set = MakeSet(10);
    ASSERT_EQ(ProbeFirst(*set), S_OK);
    const WAVEFORMATEXTENSIBLE playBefore = set->RenderRecord(0)->deviceFormat;
    const WAVEFORMATEXTENSIBLE recBefore = set->CaptureRecord(0)->deviceFormat;

    EXPECT_EQ(set->ApplyPlaybackFormat(24, 96000), E_ACCESSDENIED);
    EXPECT_EQ(set->ApplyRecordFormat(0, 24, 96000), E_ACCESSDENIED);
    EXPECT_EQ(std::memcmp(&set->RenderRecord(0)->deviceFormat, &playBefore, sizeof(playBefore)), 0);
    EXPECT_EQ(std::memcmp(&set->CaptureRecord(0)->deviceFormat, &recBefore, sizeof(recBefore)), 0);
    const std::vector<PROPERTYKEY> played = sim::WrittenKeys(true, 0);
    ASSERT_EQ(played.size(), 1u);
    EXPECT_TRUE(Same(played[0], cpl::kKeyDeviceFormat));
    EXPECT_EQ(sim::WrittenKeys(false, 0).size(), 3u);

    // What the device holds is read back as it is.
    uint32_t rate = 0, mask = 0;
    uint16_t bits = 0, channels = 0;
    ASSERT_EQ(set->ReadPlaybackFormat(&rate, &bits, &channels, &mask), S_OK);
    EXPECT_EQ(rate, 96000u);
    EXPECT_EQ(bits, 24);
}

TEST_F(EndpointTest, ADepthOrRateThatDescribesNoStreamIsRefused) {
    auto set = MakeSet(10);
    ASSERT_EQ(ProbeFirst(*set), S_OK);
    EXPECT_EQ(set->ApplyPlaybackFormat(0, 96000), E_INVALIDARG);
    EXPECT_EQ(set->ApplyPlaybackFormat(20, 96000), E_INVALIDARG);
    EXPECT_EQ(set->ApplyPlaybackFormat(24, 0), E_INVALIDARG);
    EXPECT_TRUE(sim::WrittenKeys(true, 0).empty());
}

TEST_F(EndpointTest, ALaterAudioClientMixesAtTheNewRate) {
    auto set = MakeSet(10);
    ASSERT_EQ(ProbeFirst(*set), S_OK);
    ASSERT_EQ(set->ApplyPlaybackFormat(24, 176400), S_OK);

    Microsoft::WRL::ComPtr<IMMDeviceEnumerator> enumerator;
    ASSERT_EQ(platform::CreateDeviceEnumerator(&enumerator), S_OK);
    Microsoft::WRL::ComPtr<IMMDevice> device;
    ASSERT_EQ(enumerator->GetDefaultAudioEndpoint(eRender, eConsole, &device), S_OK);
    Microsoft::WRL::ComPtr<IAudioClient> client;
    ASSERT_EQ(device->Activate(__uuidof(IAudioClient), CLSCTX_ALL, nullptr,
                               reinterpret_cast<void**>(client.GetAddressOf())),
              S_OK);
    WAVEFORMATEX* mix = nullptr;
    ASSERT_EQ(client->GetMixFormat(&mix), S_OK);
    EXPECT_EQ(mix->nSamplesPerSec, 176400u);
    EXPECT_EQ(mix->wBitsPerSample, 32);
    CoTaskMemFree(mix);
}

TEST_F(EndpointTest, AFormatChangedByAnotherProgramIsReadBack) {
    auto set = MakeSet(10);
    ASSERT_EQ(ProbeFirst(*set), S_OK);
    WAVEFORMATEXTENSIBLE other = set->CaptureRecord(0)->deviceFormat;
    other.Format.nSamplesPerSec = 44100;
    other.Format.wBitsPerSample = 16;
    ASSERT_TRUE(sim::SetDeviceFormatExternally(false, 0, other));
    uint32_t rate = 0, mask = 0;
    uint16_t bits = 0, channels = 0;
    ASSERT_EQ(set->ReadRecordFormat(0, &rate, &bits, &channels, &mask), S_OK);
    EXPECT_EQ(rate, 44100u);
    EXPECT_EQ(bits, 16);
    EXPECT_EQ(set->CaptureRecord(0)->deviceFormat.Format.nSamplesPerSec, 44100u);
}

TEST_F(EndpointTest, AShortFormatBlobIsReportedAndNotTakenForAFormat) {
    sim::VirtualAudioConfig config;
    config.render[0].control.formatBlobBytes = 10;
    config.capture[0].control.formatBlobBytes = 18;  // a plain WAVEFORMATEX
    Configure(config);
    auto set = MakeSet(10);
    ASSERT_EQ(ProbeFirst(*set), S_OK);
    uint32_t rate = 1, mask = 1;
    uint16_t bits = 1, channels = 1;
    EXPECT_EQ(set->ReadPlaybackFormat(&rate, &bits, &channels, &mask),
              HRESULT_FROM_WIN32(ERROR_INVALID_DATA));
    EXPECT_EQ(rate, 1u);
    EXPECT_EQ(bits, 1);
    ASSERT_EQ(set->ReadRecordFormat(0, &rate, &bits, &channels, &mask), S_OK);
    EXPECT_EQ(rate, 32000u);
    EXPECT_EQ(mask, 0u);  // beyond the bytes stored

    // What is applied on top of a broken stored format is still a complete
    // extensible format.
    ASSERT_EQ(set->ApplyPlaybackFormat(16, 48000), S_OK);
    const WAVEFORMATEXTENSIBLE pcm = Blob(true, 0, cpl::kKeyDeviceFormat);
    EXPECT_EQ(pcm.Format.wFormatTag, WAVE_FORMAT_EXTENSIBLE);
    EXPECT_EQ(pcm.Format.cbSize, 22);
    EXPECT_EQ(pcm.Format.nBlockAlign, 4);
    EXPECT_EQ(pcm.Format.nAvgBytesPerSec, 192000u);
}

}  // namespace
}  // namespace veltrano::test
