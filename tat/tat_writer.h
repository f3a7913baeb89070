// Writes one TAT recording the way the recorder does: packets appended in time order, the
// header's counts and the key-frame group index written when the recording is finished.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "tat/tat_library.h"

namespace locket {

struct TatRecordingDesc {
    int fps0 = 30;
    int fps1 = 0;  // 0: no rear camera
    int width0 = 0;
    int height0 = 0;
    int width1 = 0;
    int height1 = 0;
};

class CTatWriter {
public:
    CTatWriter();
    ~CTatWriter();  // finishes an open recording
    CTatWriter(const CTatWriter&) = delete;
    CTatWriter& operator=(const CTatWriter&) = delete;

    bool Create(const std::string& path, const TatRecordingDesc& desc);

    // stream: 0 front, 1 rear (video); 0 for audio and text. kind: a TatKind. Text payloads
    // start with their record letter ('G', 'M', 'B'), which the counts text tallies. Refused
    // (false): empty payloads, kind 0 on the rear stream, audio or text on stream 1, audio
    // over 3840 bytes, payloads over 1 MiB.
    bool WritePacket(uint8_t stream, uint8_t kind, uint32_t timeMs, const uint8_t* data,
                     uint32_t size, uint8_t flag = 0);

    // Writes the counts and the index and closes.
    bool Finish();

    // Stops as a power cut would: no index, no final counts, and the last packet written only
    // up to `keepBytesOfLast` of its bytes.
    bool CutAsPowerLoss(uint32_t keepBytesOfLast);

    bool IsOpen() const;

    // Bytes of the last packet written, its header included (0 before the first): what
    // CutAsPowerLoss keeps of it when nothing is torn.
    uint32_t LastPacketBytes() const;

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

}  // namespace locket
