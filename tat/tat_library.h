// The TAT library: the only code that knows the recorder's card and its native TAT recordings.
// C-style calls on one process-wide handle; every call is safe on bad input (returns 0 or a
// failure status, never reads out of bounds).
#pragma once

#include <cstdint>

namespace locket {

struct TatLibrary;
using TatHandle = TatLibrary*;

// Six NUL-padded text fields, 85 bytes in all.
struct TatProductInfo {
    char company[16];
    char product[16];
    char model[16];
    char version[16];
    char build[16];
    char region[5];
};
static_assert(sizeof(TatProductInfo) == 85);

// Library categories.
enum TatCategory : int32_t {
    kTatEvent = 0,
    kTatContinuous = 1,
    kTatParking = 2,
    kTatManual = 3,
};

// Library packet kinds.
enum TatKind : uint8_t {
    kTatKindGroupStart = 0,  // front video, first packet of a key-frame group
    kTatKindAudio = 1,
    kTatKindVideo = 2,  // any other video packet
    kTatKindText = 3,
};

// TatReadPacket results.
enum TatStatus : int8_t {
    kTatPacket = 0,
    kTatNoPacketNow = 1,
    kTatEnd = 2,
    kTatEndDamaged = 3,
};

constexpr int kTatNameBytes = 40;  // names are at most 39 characters
constexpr int kTatSizeBytes = 8;   // the file size, 64-bit little-endian
constexpr int kTatDescriptionBytes = 212;
constexpr int kTatCountsTextBytes = 256;
constexpr int kTatSettingsBytes = 2048;

TatHandle TatCreate();
void TatSetProductInfo(TatHandle handle, TatProductInfo info);
void TatDestroy(TatHandle handle);

// The card's drive token (also written to *drive), 0 when no card is present.
char TatPollCard(TatHandle handle, char* drive);
void TatCardAttached(TatHandle handle);

// Registers a folder with the card layout as a card; returns its drive token, 0 when the folder
// is not a card. Used for --card DIR and by tests.
char TatRegisterCardFolder(TatHandle handle, const char* folder);

// The folder of the card with this drive token (the canonical path of a registered folder, the
// mount point of a volume) with its terminating zero; returns its length, 0 when the token
// names no card or the folder does not fit in size bytes.
int32_t TatCardRoot(TatHandle handle, char drive, char* buffer, int32_t size);

// Which mounts file the volume walk reads ("/proc/self/mounts" by default); an empty text
// turns the walk off, leaving registered folders only. `rootPrefix` (may be null) is put
// before every mount point. Used by tests.
void TatSetMountsFile(TatHandle handle, const char* mountsFile, const char* rootPrefix = nullptr);

int32_t TatCountRecordings(TatHandle handle, char drive, int32_t category);
// names: count x 40 bytes; sizes: count x 8 bytes; extra: count + 2 values (may be null).
int32_t TatListRecordings(TatHandle handle, char drive, int32_t category, int32_t count,
                          char* names, uint8_t* sizes, int32_t* extra);

// In: *size the buffer's capacity (2048). Non-zero when the settings text was delivered.
int32_t TatReadSettings(TatHandle handle, char* buffer, int32_t* size);

// Non-zero on success. `description` (212 bytes) is zeroed first. Both take the category of a
// name as the player's parser does (tat/FORMAT.md), so that TatQueryRecordingAt and then
// TatLocateAt with the parser's category describe and stream the same recording.
int32_t TatQueryRecording(TatHandle handle, const char* name, uint8_t* description, int32_t* count0,
                          int32_t* count1, uint8_t* block244, char* countsText, uint8_t* block40);
int32_t TatQueryRecordingAt(TatHandle handle, const char* name, int32_t index, uint8_t* description,
                            int32_t* count0, int32_t* count1, uint8_t* block244, char* countsText,
                            uint8_t* block40);

// Stream positions for TatStartStream; negative when not found.
int64_t TatLocate(TatHandle handle, int32_t category, const char* name);
int64_t TatLocateAt(TatHandle handle, int32_t category, int32_t index);
int32_t TatStartStream(TatHandle handle, int32_t category, int32_t reserved, int64_t position);

// One packet (returns kTatPacket, with stream, kind, flag, *size and the payload), or a status
// (kTatNoPacketNow, kTatEnd, kTatEndDamaged) with *kind left as it was.
// In: *size the buffer's capacity. A packet larger than the capacity is skipped, never copied.
int32_t TatReadPacket(TatHandle handle, uint8_t* stream, uint8_t* kind, uint8_t* flag,
                      uint32_t* size, uint8_t* buffer, int32_t* extra);

// Damaged stretches and packets too large for the buffer that the reads since TatStartStream
// passed over; 0 when every packet was delivered.
int32_t TatSkippedPackets(TatHandle handle);

// Continues reading at a key-frame group. With D the group starts delivered since
// TatStartStream: the group reached is (target - D - 1), counted from 0 at the start of the
// recording, clamped to (limit - D - 1) and to the last group.
int32_t TatSeek(TatHandle handle, int32_t target, int32_t limit);

}  // namespace locket
