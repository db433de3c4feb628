#include "streaming_fixture.h"

namespace ksdrv {

std::vector<ASIOBufferInfo> Channels(int outputs, int inputs) {
    std::vector<ASIOBufferInfo> infos;
    for (int c = 0; c < outputs; ++c) infos.push_back({ASIOFalse, c, {nullptr, nullptr}});
    for (int c = 0; c < inputs; ++c) infos.push_back({ASIOTrue, c, {nullptr, nullptr}});
    return infos;
}

IASIO* StreamingTest::Open(const StreamFormat& format) {
    WriteSetting("BitsPerSample", static_cast<uint32_t>(format.bits));
    const uint32_t carrier = format.rate == 2822400    ? 88200
                             : format.rate == 5644800  ? 176400
                             : format.rate == 11289600 ? 352800
                                                       : format.rate;
    WriteSetting("SampleRate", carrier);
    m_driver = std::make_unique<Driver>();
    if (FAILED(m_driver->created) || m_driver->get()->init(nullptr) != ASIOTrue) return nullptr;
    IASIO* asio = m_driver->get();
    if (format.Dsd() && asio->setSampleRate(static_cast<double>(format.rate)) != ASE_OK) {
        return nullptr;
    }
    return asio;
}

ASIOError StreamingTest::Create(const StreamFormat& format, std::vector<ASIOBufferInfo> infos,
                                HostOptions options) {
    m_host = std::make_unique<TestHost>();
    return m_host->Create(m_driver->get(), std::move(infos), format.bufferSize, format.HalfBytes(),
                          std::move(options));
}

size_t ExpectPlayed(const std::vector<uint8_t>& played, const StreamFormat& format, uint8_t silence,
                    int zeroSwitches, int filledSwitches) {
    const size_t b = format.SampleBytes();
    const size_t frames = format.Frames();
    const size_t packetBytes = frames * b * 2;
    const size_t packets = played.size() / packetBytes;
    EXPECT_EQ(played.size() % packetBytes, 0u);
    for (size_t p = 0; p < packets; ++p) {
        for (size_t f = 0; f < frames; ++f) {
            for (int c = 0; c < 2; ++c) {
                for (size_t i = 0; i < b; ++i) {
                    const int s = static_cast<int>(p) - 2;
                    uint8_t expected = silence;
                    if (s >= filledSwitches && s < zeroSwitches) expected = 0;
                    if (s >= zeroSwitches) expected = PatternByte(s, c, f * b + i);
                    if (s < 0 || (s < filledSwitches && s < zeroSwitches)) expected = silence;
                    const uint8_t actual = played[p * packetBytes + f * 2 * b + c * b + i];
                    if (actual != expected) {
                        ADD_FAILURE()
                            << "packet " << p << " frame " << f << " channel " << c << " byte " << i
                            << ": " << int{actual} << " instead of " << int{expected};
                        return p;
                    }
                }
            }
        }
    }
    return packets;
}

}  // namespace ksdrv
