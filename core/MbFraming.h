// The two framings the engine speaks, each as one table: where the unit, the function code
// and the data sit, what closes a frame, how a received frame is checked, and how long a
// reply will be from its first bytes. The engine and the connection pick a table once and
// never ask which framing they have.
#pragma once
#include <cstddef>
#include <cstdint>

enum MbFraming : uint32_t { MbRtu = 0, MbMbap = 1 };

// Modbus CRC-16 (init 0xFFFF, reflected polynomial 0xA001); sent low byte first.
uint16_t MbCrc16(const uint8_t *data, size_t length);

struct MbFrameRules {
    uint32_t Framing;        // MbRtu or MbMbap
    uint8_t HeaderLength;    // bytes before the data; the unit and the function code are its last two
    uint8_t ChecksumLength;  // bytes after the data

    // The header's transaction and protocol ids; 0 under a framing that has none.
    uint16_t (*Transaction)(const uint8_t *frame);
    uint16_t (*Protocol)(const uint8_t *frame);
    // Put them into a frame's header; nothing under a framing that has none.
    void (*PutTransaction)(uint8_t *frame, uint16_t id);
    void (*PutProtocol)(uint8_t *frame, uint16_t id);
    // The transaction id of a new request; the counter moves on only where ids travel.
    uint16_t (*NextTransaction)(uint16_t &counter);
    // Closes a frame of `total` bytes (checksum or length field).
    void (*Finish)(uint8_t *frame, uint16_t total);
    // Length of the frame at the start of a received buffer when its header and checksum
    // hold; 0 when they do not.
    uint16_t (*Accept)(const uint8_t *frame, uint16_t length);
    // Length of the whole reply whose first n bytes are given; 0 while they cannot tell
    // (too few yet, or a function code of unknown shape).
    uint32_t (*ReplyLength)(const uint8_t *head, uint16_t n);

    constexpr uint16_t UnitOffset() const { return static_cast<uint16_t>(HeaderLength - 2); }
    constexpr uint16_t Overhead() const { return static_cast<uint16_t>(HeaderLength + ChecksumLength); }
    // An exception reply: the header, the exception code and the checksum.
    constexpr uint16_t ShortestReply() const { return static_cast<uint16_t>(Overhead() + 1); }
};

namespace mbframe {
uint16_t NoId(const uint8_t *frame);
void PutNoId(uint8_t *frame, uint16_t id);
uint16_t NoTransaction(uint16_t &counter);
void RtuFinish(uint8_t *frame, uint16_t total);
uint16_t RtuAccept(const uint8_t *frame, uint16_t length);
uint32_t RtuReplyLength(const uint8_t *head, uint16_t n);

uint16_t MbapTransaction(const uint8_t *frame);
uint16_t MbapProtocol(const uint8_t *frame);
void MbapPutTransaction(uint8_t *frame, uint16_t id);
void MbapPutProtocol(uint8_t *frame, uint16_t id);
uint16_t MbapNextTransaction(uint16_t &counter);
void MbapFinish(uint8_t *frame, uint16_t total);
uint16_t MbapAccept(const uint8_t *frame, uint16_t length);
uint32_t MbapReplyLength(const uint8_t *head, uint16_t n);
}  // namespace mbframe

// Unit, function code, data, CRC-16.
inline constexpr MbFrameRules kMbRtuRules{MbRtu,
                                          2,
                                          2,
                                          mbframe::NoId,
                                          mbframe::NoId,
                                          mbframe::PutNoId,
                                          mbframe::PutNoId,
                                          mbframe::NoTransaction,
                                          mbframe::RtuFinish,
                                          mbframe::RtuAccept,
                                          mbframe::RtuReplyLength};

// Transaction id, protocol id, length, unit, function code, data; no checksum.
inline constexpr MbFrameRules kMbMbapRules{MbMbap,
                                           8,
                                           0,
                                           mbframe::MbapTransaction,
                                           mbframe::MbapProtocol,
                                           mbframe::MbapPutTransaction,
                                           mbframe::MbapPutProtocol,
                                           mbframe::MbapNextTransaction,
                                           mbframe::MbapFinish,
                                           mbframe::MbapAccept,
                                           mbframe::MbapReplyLength};

// The table of a framing setting: MBAP for MbMbap, RTU for anything else.
constexpr const MbFrameRules &MbRules(uint32_t framing)
{
    return framing == MbMbap ? kMbMbapRules : kMbRtuRules;
}
