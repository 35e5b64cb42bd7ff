// The engine's wire protocol between a client engine and dbserver
// (docs/engine-protocol.md): frames, the handshake and the encoding of
// requests and replies.
//
// Every message is one frame: a 4-byte little-endian length, then that many
// payload bytes. A length above the receiver's limit ends the connection.
// Values inside a payload are little-endian; a text is a 4-byte length and
// its bytes. WireReader checks every length and count against the bytes that
// are really there, so a damaged payload is refused instead of read past.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace engine::net {

inline constexpr uint32_t kProtocolMagic = 0x50474E45;  // "ENGP" as bytes on the wire
inline constexpr uint16_t kProtocolVersion = 1;
// The oldest protocol a client or server of this build still speaks.
inline constexpr uint16_t kOldestProtocolVersion = 1;
inline constexpr size_t kFrameHeaderBytes = 4;
// The largest payload either side accepts (a server may set a smaller one).
inline constexpr uint32_t kMaxFrameBytes = 16u << 20;
// How many records a fetch asks for at once, at most.
inline constexpr uint32_t kMaxBatchRecords = 65536;
// A batch stops growing past this many record bytes.
inline constexpr uint32_t kBatchBytes = 4u << 20;

// The requests. A reply carries the request's id and the engine's code.
enum class Op : uint16_t {
  Connect = 1,            // text share path                  -> nothing
  Open = 2,               // text table, u8 exclusive         -> table description
  Close = 3,              // u32 handle                       -> nothing
  SetFilter = 4,          // u32 handle, text condition       -> nothing
  Fetch = 5,              // u32 handle, u8 move, u32 recno, u32 count -> batch
  Count = 6,              // u32 handle                       -> u32 live records passing the filter
  AddIndex = 7,           // u32 handle, text name, text expression, u32 options, u32 page size
  Reindex = 8,            // u32 handle, u32 page size
  IndexPageSize = 9,      // u32 handle, u16 order            -> u32 page size
  IsEncrypted = 10,       // u32 handle                       -> u8
  EnableEncryption = 11,  // u32 handle, text password
  DisableEncryption = 12,  // u32 handle
  Sql = 13,                // text statement                   -> outcome
  Verify = 14,             // u32 handle                       -> u8 has file, u8 ok, u32 n, n texts
  Tags = 15,               // u32 handle                       -> u32 page size, u32 n, n tags
  Version = 16,      //                                  -> u32 major, u32 minor, u8 letter, text
  Scan = 17,         // u32 handle, u8 deleted, u32 from, u32 count -> raw batch, no filter
  Info = 18,         // u32 handle -> format version, live records, index file
  OrderedScan = 19,  // u32 handle, text tag, u8 seek, text values -> nothing (a reading)
  Search = 20,       // u32 handle, text tag, text words -> u32 matches (a reading)
  ReadOn = 21,       // u32 handle, u32 count -> batch of the handle's reading
  Recall = 22,       // u32 handle, text filter -> u32 records recalled
  Rewrite = 23,      // text table, u8 encrypt, text password, u32 rounds -> nothing
  LoadBegin = 24,    // text table, u8 replace, u32 n fields -> u32 load
  LoadAppend = 25,   // u32 load, u32 n records -> nothing
  LoadFinish = 26,   // u32 load -> u64 records
};
inline constexpr Op kLastOp = Op::LoadFinish;

// How Fetch places the server's cursor before reading the batch.
enum class Move : uint8_t {
  First = 1,      // the first record, then on
  Last = 2,       // the last record only
  After = 3,      // the records after `recno`
  At = 4,         // `recno` itself, which must be in the selection
  AtOrAfter = 5,  // `recno`, or the first record after it when it left the selection
};

class WireWriter {
 public:
  WireWriter() = default;
  // Writes into `reuse`, emptied but keeping its capacity (a buffer handed
  // back with Take(), so that big replies are not allocated anew each time).
  explicit WireWriter(std::vector<uint8_t> reuse) : bytes_(std::move(reuse)) { bytes_.clear(); }
  WireWriter& U8(uint8_t v);
  WireWriter& U16(uint16_t v);
  WireWriter& U32(uint32_t v);
  WireWriter& I32(int32_t v) { return U32(static_cast<uint32_t>(v)); }
  WireWriter& U64(uint64_t v);
  WireWriter& Text(std::string_view text);
  WireWriter& Raw(std::span<const uint8_t> bytes);
  // Overwrites the value written at byte `at` (room kept with U8/U32 before).
  void PatchU8(size_t at, uint8_t v) { bytes_[at] = v; }
  void PatchU32(size_t at, uint32_t v);
  size_t Size() const { return bytes_.size(); }
  const std::vector<uint8_t>& Bytes() const { return bytes_; }
  std::vector<uint8_t> Take() { return std::move(bytes_); }

 private:
  std::vector<uint8_t> bytes_;
};

// Reads values off a payload. A read past the end, or a text longer than
// the bytes left, fails the reader: every later read answers zero or empty
// and Ok() is false.
class WireReader {
 public:
  explicit WireReader(std::span<const uint8_t> bytes) : bytes_(bytes) {}
  uint8_t U8();
  uint16_t U16();
  uint32_t U32();
  int32_t I32() { return static_cast<int32_t>(U32()); }
  uint64_t U64();
  std::string Text();
  // `size` raw bytes (empty and failed when fewer are left).
  std::span<const uint8_t> Raw(size_t size);
  // A count of items of at least `item_bytes` each: fails when that many
  // could not fit in what is left.
  uint32_t Count(size_t item_bytes);
  bool Ok() const { return ok_; }
  bool AtEnd() const { return ok_ && at_ == bytes_.size(); }
  size_t Left() const { return bytes_.size() - at_; }

 private:
  bool Take(size_t size);
  std::span<const uint8_t> bytes_;
  size_t at_ = 0;
  bool ok_ = true;
};

// The handshake: the client's hello, then the server's answer.
struct Hello {
  uint16_t Protocol = kProtocolVersion;
  uint16_t OldestProtocol = kOldestProtocolVersion;
  uint32_t EngineMajor = 0;
  uint32_t EngineMinor = 0;
};
std::vector<uint8_t> EncodeHello(const Hello& hello);
bool DecodeHello(std::span<const uint8_t> payload, Hello& hello);

struct HelloAnswer {
  Hello Server;
  int32_t Code = 0;  // 0: go on; else the engine code that refuses this client
  std::string Message;
};
std::vector<uint8_t> EncodeHelloAnswer(const HelloAnswer& answer);
bool DecodeHelloAnswer(std::span<const uint8_t> payload, HelloAnswer& answer);

// A request: id, operation, body.
std::vector<uint8_t> EncodeRequest(uint32_t id, Op op, std::span<const uint8_t> body);
// A reply: id, engine code, message (empty on success), body.
std::vector<uint8_t> EncodeReply(uint32_t id, int32_t code, std::string_view message,
                                 std::span<const uint8_t> body);
// The part of a reply before its body (the frame is this, then the body).
std::vector<uint8_t> EncodeReplyHead(uint32_t id, int32_t code, std::string_view message);

// A frame's header for `payload_size` bytes, and the size a header announces.
void PutFrameHeader(uint8_t* header, uint32_t payload_size);
uint32_t FrameSize(const uint8_t* header);

}  // namespace engine::net
