#pragma once
// AudioEndpointSet: the control panel's one core-audio context. It finds
// the device's playback (render) and record (capture) endpoints among the
// active endpoints, keeps a record of each (identity, stored device format,
// topology volume and mute parts with their level table), reads the device
// format back and applies a sample rate and bit depth by writing the
// endpoint's property store. It owns the Player, which holds the enumerator,
// the endpoint collections and the change notifications.
//
// UI thread only. Every call returns an HRESULT and never throws; a record
// index at or beyond the count fails with E_FAIL.

#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "common/os_kind.h"
#include "cpl/endpoint/endpoint_keys.h"
#include "cpl/endpoint/endpoint_record.h"
#include "cpl/endpoint/player.h"

namespace veltrano::cpl {

// The format fields the sections show.
struct EndpointFormat {
    uint32_t sampleRate = 0;
    uint16_t bitsPerSample = 0;
    uint16_t channels = 0;
    uint32_t channelMask = 0;
};

class AudioEndpointSet {
public:
    // Classifies the running system (a classification failure counts as
    // kind 4, platform flag 1) and creates the Player for the window.
    explicit AudioEndpointSet(HWND window);
    // With a given classification (tests, and callers that classified
    // already).
    AudioEndpointSet(HWND window, const OsKind& os);
    // Resets and releases the Player.
    ~AudioEndpointSet();
    AudioEndpointSet(const AudioEndpointSet&) = delete;
    AudioEndpointSet& operator=(const AudioEndpointSet&) = delete;

    // Finds the endpoints of the device (vendor, product, audio interface).
    // On a core-audio system (kinds 2..11): playbackPresent and
    // recordPresent tell which directions have an endpoint, asioPresent
    // follows playback, and E_FAIL means neither direction matched. On
    // other systems only asioPresent is set. While probed, S_OK without
    // touching the outputs. A null output is E_FAIL.
    HRESULT Probe(uint16_t vendorId, uint16_t productId, uint8_t interfaceNumber,
                  int* playbackPresent, int* recordPresent, int* asioPresent);
    // Releases everything the records hold (topology parts, endpoint-volume
    // registrations) and clears them; the Player stays.
    void Reset();

    // The device format stored for render record 0 / capture record i,
    // read back from the endpoint (the record's copy is updated). A stored
    // value that is not a blob of at least a WAVEFORMATEX fails with
    // HRESULT_FROM_WIN32(ERROR_INVALID_DATA) and leaves the record as it was.
    HRESULT ReadPlaybackFormat(uint32_t* sampleRate, uint16_t* bitsPerSample, uint16_t* channels,
                               uint32_t* channelMask);
    HRESULT ReadRecordFormat(int captureIndex, uint32_t* sampleRate, uint16_t* bitsPerSample,
                             uint16_t* channels, uint32_t* channelMask);
    // Writes the integer format (stereo, the rate and depth) and its float
    // companions; the record keeps its format unless every write succeeds.
    // Writing needs administrator rights: the store's error is returned.
    HRESULT ApplyPlaybackFormat(uint16_t bitsPerSample, uint32_t sampleRate);
    HRESULT ApplyRecordFormat(int captureIndex, uint16_t bitsPerSample, uint32_t sampleRate);

    // Volume in dB per channel on the topology volume part of render record
    // 0 / capture record i. Get fills left and right (and the range) when a
    // volume part exists and returns S_OK even without one; Set clamps each
    // side into its channel's range from the level table and writes it.
    HRESULT GetPlaybackVolume(float* leftDb, float* rightDb, float* maximumDb, float* minimumDb,
                              float* stepDb);
    HRESULT SetPlaybackVolume(float leftDb, float rightDb);
    HRESULT GetRecordVolume(int captureIndex, float* leftDb, float* rightDb, float* maximumDb,
                            float* minimumDb, float* stepDb);
    HRESULT SetRecordVolume(int captureIndex, float leftDb, float rightDb);
    // Mute on the topology mute part; E_FAIL without one.
    HRESULT GetPlaybackMute(BOOL* mute);
    HRESULT SetPlaybackMute(BOOL mute);
    HRESULT GetRecordMute(int captureIndex, BOOL* mute);
    HRESULT SetRecordMute(int captureIndex, BOOL mute);

    // Lower-level helpers. direction: kRender or kCapture (anything else is
    // E_FAIL); index: position in the Player's collection of the direction.
    // ReadProperty fills whichever outputs are given that fit the stored
    // type: VT_LPWSTR into text (cut to textChars - 1 characters, always
    // terminated), VT_BLOB into blob (at most blobBytes; *blobCopied gets the
    // count), VT_UI4 into value; other types leave the outputs unchanged.
    // When the endpoint cannot be obtained, text receives
    // "<Device not available>" and the error is returned.
    HRESULT ReadProperty(int direction, UINT index, const PROPERTYKEY& key, wchar_t* text,
                         size_t textChars, void* blob = nullptr, size_t blobBytes = 0,
                         size_t* blobCopied = nullptr, uint32_t* value = nullptr);
    // Stores a 40-byte VT_BLOB under the key; the caller keeps its buffer.
    HRESULT WriteProperty(int direction, UINT index, const PROPERTYKEY& key,
                          const WAVEFORMATEXTENSIBLE& buffer);
    HRESULT ReadEndpointId(int direction, UINT index, wchar_t (&id)[kEndpointTextChars]);

    // Checked write of one channel: E_FAIL outside the channel's current
    // range, else SetLevel with no event context.
    static HRESULT SetLevelChecked(IAudioVolumeLevel* part, UINT channel, float levelDb);

    // State.
    const OsKind& Os() const { return m_os; }
    bool Win10Version1703() const { return m_win10_1703; }
    bool IsCoreAudioSystem() const { return m_os.kind >= 2 && m_os.kind <= 11; }
    bool Probed() const { return m_probed; }
    uint16_t VendorId() const { return m_vendorId; }
    uint16_t ProductId() const { return m_productId; }
    int RenderCount() const { return m_renderCount; }
    int CaptureCount() const { return m_captureCount; }
    // Null for an index at or beyond the count.
    const EndpointRecord* RenderRecord(int index) const;
    const EndpointRecord* CaptureRecord(int index) const;
    Player* GetPlayer() const { return m_player; }

private:
    void Init(HWND window);
    HRESULT DiscoverDirection(int direction, const wchar_t* pattern);
    HRESULT RecordFor(int direction, int index, EndpointRecord** record);
    HRESULT ReadFormat(int direction, int index, EndpointFormat* format);
    HRESULT ApplyFormat(int direction, int index, uint16_t bitsPerSample, uint32_t sampleRate);
    HRESULT GetVolume(int direction, int index, float* leftDb, float* rightDb, float* maximumDb,
                      float* minimumDb, float* stepDb);
    HRESULT SetVolume(int direction, int index, float leftDb, float rightDb);
    HRESULT GetMute(int direction, int index, BOOL* mute);
    HRESULT SetMute(int direction, int index, BOOL mute);

    HWND m_window = nullptr;
    OsKind m_os{};
    bool m_win10_1703 = false;
    Player* m_player = nullptr;  // owned: one reference
    uint16_t m_vendorId = 0;
    uint16_t m_productId = 0;
    bool m_probed = false;
    EndpointRecord m_render[kMaxEndpointRecords];
    EndpointRecord m_capture[kMaxEndpointRecords];
    int m_renderCount = 0;
    int m_captureCount = 0;
};

}  // namespace veltrano::cpl
