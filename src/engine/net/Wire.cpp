#include "engine/net/Wire.h"

#include <cstring>

namespace engine::net {

WireWriter& WireWriter::U8(uint8_t v) {
  bytes_.push_back(v);
  return *this;
}

WireWriter& WireWriter::U16(uint16_t v) {
  bytes_.push_back(static_cast<uint8_t>(v));
  bytes_.push_back(static_cast<uint8_t>(v >> 8));
  return *this;
}

WireWriter& WireWriter::U32(uint32_t v) {
  for (int i = 0; i < 4; ++i) bytes_.push_back(static_cast<uint8_t>(v >> (8 * i)));
  return *this;
}

void WireWriter::PatchU32(size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) bytes_[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

WireWriter& WireWriter::U64(uint64_t v) {
  for (int i = 0; i < 8; ++i) bytes_.push_back(static_cast<uint8_t>(v >> (8 * i)));
  return *this;
}

WireWriter& WireWriter::Text(std::string_view text) {
  U32(static_cast<uint32_t>(text.size()));
  bytes_.insert(bytes_.end(), text.begin(), text.end());
  return *this;
}

WireWriter& WireWriter::Raw(std::span<const uint8_t> bytes) {
  bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
  return *this;
}

bool WireReader::Take(size_t size) {
  if (!ok_ || size > bytes_.size() - at_) {
    ok_ = false;
    return false;
  }
  return true;
}

uint8_t WireReader::U8() {
  if (!Take(1)) return 0;
  return bytes_[at_++];
}

uint16_t WireReader::U16() {
  if (!Take(2)) return 0;
  const uint16_t v = static_cast<uint16_t>(bytes_[at_] | (bytes_[at_ + 1] << 8));
  at_ += 2;
  return v;
}

uint32_t WireReader::U32() {
  if (!Take(4)) return 0;
  uint32_t v = 0;
  for (int i = 0; i < 4; ++i) v |= static_cast<uint32_t>(bytes_[at_ + i]) << (8 * i);
  at_ += 4;
  return v;
}

uint64_t WireReader::U64() {
  if (!Take(8)) return 0;
  uint64_t v = 0;
  for (int i = 0; i < 8; ++i) v |= static_cast<uint64_t>(bytes_[at_ + i]) << (8 * i);
  at_ += 8;
  return v;
}

std::string WireReader::Text() {
  const uint32_t size = U32();
  if (!Take(size)) return {};
  std::string text(reinterpret_cast<const char*>(bytes_.data() + at_), size);
  at_ += size;
  return text;
}

std::span<const uint8_t> WireReader::Raw(size_t size) {
  if (!Take(size)) return {};
  auto part = bytes_.subspan(at_, size);
  at_ += size;
  return part;
}

uint32_t WireReader::Count(size_t item_bytes) {
  const uint32_t count = U32();
  if (!ok_) return 0;
  if (item_bytes > 0 && count > Left() / item_bytes) {
    ok_ = false;
    return 0;
  }
  return count;
}

namespace {

void WriteHello(WireWriter& w, const Hello& hello) {
  w.U32(kProtocolMagic).U16(hello.Protocol).U16(hello.OldestProtocol);
  w.U32(hello.EngineMajor).U32(hello.EngineMinor);
}

bool ReadHello(WireReader& r, Hello& hello) {
  if (r.U32() != kProtocolMagic) return false;
  hello.Protocol = r.U16();
  hello.OldestProtocol = r.U16();
  hello.EngineMajor = r.U32();
  hello.EngineMinor = r.U32();
  return r.Ok();
}

}  // namespace

std::vector<uint8_t> EncodeHello(const Hello& hello) {
  WireWriter w;
  WriteHello(w, hello);
  return w.Take();
}

bool DecodeHello(std::span<const uint8_t> payload, Hello& hello) {
  WireReader r(payload);
  return ReadHello(r, hello) && r.AtEnd();
}

std::vector<uint8_t> EncodeHelloAnswer(const HelloAnswer& answer) {
  WireWriter w;
  WriteHello(w, answer.Server);
  w.I32(answer.Code).Text(answer.Message);
  return w.Take();
}

bool DecodeHelloAnswer(std::span<const uint8_t> payload, HelloAnswer& answer) {
  WireReader r(payload);
  if (!ReadHello(r, answer.Server)) return false;
  answer.Code = r.I32();
  answer.Message = r.Text();
  return r.AtEnd();
}

std::vector<uint8_t> EncodeRequest(uint32_t id, Op op, std::span<const uint8_t> body) {
  WireWriter w;
  w.U32(id).U16(static_cast<uint16_t>(op)).Raw(body);
  return w.Take();
}

std::vector<uint8_t> EncodeReply(uint32_t id, int32_t code, std::string_view message,
                                 std::span<const uint8_t> body) {
  WireWriter w;
  w.U32(id).I32(code).Text(message).Raw(body);
  return w.Take();
}

std::vector<uint8_t> EncodeReplyHead(uint32_t id, int32_t code, std::string_view message) {
  WireWriter w;
  w.U32(id).I32(code).Text(message);
  return w.Take();
}

void PutFrameHeader(uint8_t* header, uint32_t payload_size) {
  for (int i = 0; i < 4; ++i) header[i] = static_cast<uint8_t>(payload_size >> (8 * i));
}

uint32_t FrameSize(const uint8_t* header) {
  uint32_t v = 0;
  for (int i = 0; i < 4; ++i) v |= static_cast<uint32_t>(header[i]) << (8 * i);
  return v;
}

}  // namespace engine::net
