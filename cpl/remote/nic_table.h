#pragma once
// The adapter table of the remote-control service and the address arithmetic
// around it. No platform calls: adapter records come in as byte views, so the
// same code runs in the control panel and under the sanitizers and fuzzers.

#include <cstddef>
#include <cstdint>

namespace rmct {

inline constexpr int kMaxAdapters = 16;
inline constexpr int kDescriptionSize = 132;  // 131 characters and the NUL
inline constexpr uint16_t kDefaultPort = 5566;

// The receive ring: eight slots of 1024 bytes. A slot holds the sender's
// 16-byte socket address, 16 zero bytes, then up to 992 payload bytes.
inline constexpr size_t kSlotCount = 8;
inline constexpr size_t kSlotSize = 1024;
inline constexpr size_t kRingSize = kSlotCount * kSlotSize;
inline constexpr size_t kPayloadOffset = 32;
inline constexpr size_t kMaxPayload = kSlotSize - kPayloadOffset;  // 992

// The notify datagram: the text and its terminating zero.
inline constexpr char kNotifyText[] = "KestTechNotifyBC";
inline constexpr int kNotifyLength = sizeof(kNotifyText);  // 17

// What the table needs of one adapter record. The strings are fixed-size
// fields from the system and need not be NUL-terminated; nothing is read
// beyond the given sizes.
struct AdapterView {
    uint32_t type = 0;
    const char* address = nullptr;
    size_t addressSize = 0;
    const char* mask = nullptr;
    size_t maskSize = 0;
    const char* description = nullptr;
    size_t descriptionSize = 0;
};

// Reads "a.b.c.d" (four decimal parts of one to three digits, each at most
// 255, nothing else) from at most `size` bytes or up to a NUL. On success
// stores the address in network byte order (first octet in the
// lowest-addressed byte).
bool ParseDottedQuad(const char* text, size_t size, uint32_t* networkOrder);

// Network-order value <-> host-order value (first octet most significant).
uint32_t NetworkToHost(uint32_t networkOrder);
uint32_t HostToNetwork(uint32_t hostOrder);

// The directed broadcast address of the subnet, host order: the address with
// every host bit set. An all-zero entry gives 255.255.255.255.
uint32_t DirectedBroadcast(uint32_t addressHost, uint32_t maskHost);

// Formats a network-order address as "%d.%d.%d.%d", first octet first.
// `out` holds at least 16 characters.
void FormatDottedQuad(uint32_t networkOrder, char* out, size_t outSize);

}  // namespace rmct

// Adapters the remote-control service can use, in the system's order.
// Entries at and beyond count are zero.
struct RmctNicTable {
    uint32_t type[rmct::kMaxAdapters];
    uint32_t address[rmct::kMaxAdapters];  // network byte order
    uint32_t mask[rmct::kMaxAdapters];     // network byte order
    char description[rmct::kMaxAdapters][rmct::kDescriptionSize];
    int32_t count;
    int32_t selected;
    uint16_t port;
};

namespace rmct {

// Empty table with the given port.
void InitNicTable(RmctNicTable& table, uint16_t port);

// Zeroes the entries, count and selection; the port stays.
void ClearNicTable(RmctNicTable& table);

// Appends one adapter unless it has no usable address (0.0.0.0 or text that
// is not an address) or the table already holds 16. Returns the index it was
// stored at, or -1.
int AddAdapter(RmctNicTable& table, const AdapterView& adapter);

// Page to dialog before the dialog opens. A table the dialog cannot hold
// (count 0 or above 16, selection 16 or above) is not handed over and the
// dialog keeps what it had. Returns whether it copied.
bool CopyTableIn(const RmctNicTable& page, RmctNicTable& dialog);

// Dialog to page after OK: the page takes the dialog's entries, count,
// selection and port.
void CopyTableOut(const RmctNicTable& dialog, RmctNicTable& page);

// The selected adapter's address as text, when there is a selected adapter.
bool SelectedAddressText(const RmctNicTable& table, char* out, size_t outSize);

}  // namespace rmct
