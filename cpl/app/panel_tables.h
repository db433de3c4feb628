#pragma once
// The control panel's fixed vocabulary: the rate and bit-depth button rows
// of the playback and record sections in the panel's own order (highest
// rate first), the ASIO buffer-size and bit-depth buttons, and the section
// switch names. Pure data.

#include <cstdint>

namespace veltrano::cpl {

// Rate order of the sections and of their capability masks: bit i of a
// section's rate mask stands for kPanelRates[i].
inline constexpr int kPanelRateCount = 9;
inline constexpr uint32_t kPanelRates[kPanelRateCount] = {384000, 352800, 192000, 176400, 96000,
                                                          88200,  48000,  44100,  32000};
inline constexpr const char* kPlayRateButtons[kPanelRateCount] = {
    "BTN_P_384K", "BTN_P_352K", "BTN_P_192K", "BTN_P_176K", "BTN_P_96K",
    "BTN_P_88K",  "BTN_P_48K",  "BTN_P_44K",  "BTN_P_32K"};
inline constexpr const char* kRecRateButtons[kPanelRateCount] = {
    "BTN_R_384K", "BTN_R_352K", "BTN_R_192K", "BTN_R_176K", "BTN_R_96K",
    "BTN_R_88K",  "BTN_R_48K",  "BTN_R_44K",  "BTN_R_32K"};

// Bit order: bit j of a section's bits mask stands for kPanelBits[j].
inline constexpr int kPanelBitsCount = 3;
inline constexpr uint16_t kPanelBits[kPanelBitsCount] = {32, 24, 16};
inline constexpr const char* kPlayBitsButtons[kPanelBitsCount] = {"BTN_P_32B", "BTN_P_24B",
                                                                  "BTN_P_16B"};
inline constexpr const char* kRecBitsButtons[kPanelBitsCount] = {"BTN_R_32B", "BTN_R_24B",
                                                                 "BTN_R_16B"};

// With no button of a group latched, a section applies 44100 Hz, 16 bits.
inline constexpr int kDefaultRateIndex = 7;
inline constexpr int kDefaultBitsIndex = 2;

// ASIO buffer-size buttons and the setting each writes (0.1 ms units).
inline constexpr int kAsioBufferCount = 9;
inline constexpr const char* kAsioBufferButtons[kAsioBufferCount] = {
    "BTN_ASIO_BFSZ_3MS",  "BTN_ASIO_BFSZ_5MS",  "BTN_ASIO_BFSZ_7MS",
    "BTN_ASIO_BFSZ_10MS", "BTN_ASIO_BFSZ_15MS", "BTN_ASIO_BFSZ_20MS",
    "BTN_ASIO_BFSZ_30MS", "BTN_ASIO_BFSZ_50MS", "BTN_ASIO_BFSZ_100MS"};
inline constexpr uint32_t kAsioBufferSettings[kAsioBufferCount] = {30,  50,  70,  100, 150,
                                                                   200, 300, 500, 1000};

// ASIO bit-depth buttons, in the order the latched one is looked for.
inline constexpr int kAsioBitsCount = 3;
inline constexpr const char* kAsioBitsButtons[kAsioBitsCount] = {"BTN_ASIO_16B", "BTN_ASIO_24B",
                                                                 "BTN_ASIO_32B"};
inline constexpr uint32_t kAsioBits[kAsioBitsCount] = {16, 24, 32};

// Index of a name in a row of names, or -1.
int IndexOfName(const char* const* names, int count, const char* name);

// Index of a rate in kPanelRates / bits in kPanelBits, or -1.
int PanelRateIndex(uint32_t rate);
int PanelBitsIndex(uint32_t bits);

}  // namespace veltrano::cpl
