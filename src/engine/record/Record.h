// Typed access to one record's bytes (layout in TableSchema.h). Numbers are
// stored little-endian. A view reads; a builder fills a record for appending.
#pragma once

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <utility>
#include <vector>

#include "engine/record/TableSchema.h"
#include "engine/util/EngineError.h"

namespace engine {

inline constexpr uint8_t kRecordLive = 0;
inline constexpr uint8_t kRecordDeleted = 1;

namespace detail {
template <typename T>
inline T LoadLittle(const uint8_t* p) {
  T value;
  std::memcpy(&value, p, sizeof value);
  if constexpr (std::endian::native == std::endian::big) {
    auto* b = reinterpret_cast<uint8_t*>(&value);
    for (size_t i = 0; i < sizeof value / 2; ++i) std::swap(b[i], b[sizeof value - 1 - i]);
  }
  return value;
}
template <typename T>
inline void StoreLittle(uint8_t* p, T value) {
  if constexpr (std::endian::native == std::endian::big) {
    auto* b = reinterpret_cast<uint8_t*>(&value);
    for (size_t i = 0; i < sizeof value / 2; ++i) std::swap(b[i], b[sizeof value - 1 - i]);
  }
  std::memcpy(p, &value, sizeof value);
}
}  // namespace detail

// A read-only view of a record. REQUIRES: `field` < FieldCount() and the
// accessor matches the field's type (the view does not check either).
class RecordView {
 public:
  RecordView(const TableSchema& schema, const uint8_t* bytes) : schema_(&schema), bytes_(bytes) {}

  const TableSchema& Schema() const { return *schema_; }
  const uint8_t* Bytes() const { return bytes_; }
  bool IsDeleted() const { return bytes_[0] != kRecordLive; }

  bool IsNull(size_t field) const { return (bytes_[1 + field / 8] >> (field % 8)) & 1u; }

  // The whole blank-padded value of a character field.
  std::string_view Chars(size_t field) const {
    const FieldInfo& f = schema_->Field(field);
    return {reinterpret_cast<const char*>(bytes_ + f.Offset), f.Length};
  }
  // The value without its trailing blanks.
  std::string_view TrimmedChars(size_t field) const {
    std::string_view s = Chars(field);
    size_t n = s.size();
    while (n > 0 && s[n - 1] == ' ') --n;
    return s.substr(0, n);
  }
  int32_t Integer(size_t field) const { return detail::LoadLittle<int32_t>(At(field)); }
  double Double(size_t field) const { return detail::LoadLittle<double>(At(field)); }
  int32_t Date(size_t field) const { return detail::LoadLittle<int32_t>(At(field)); }
  bool Logical(size_t field) const { return *At(field) != 0; }

 private:
  const uint8_t* At(size_t field) const { return bytes_ + schema_->Field(field).Offset; }

  const TableSchema* schema_;
  const uint8_t* bytes_;
};

// Builds one record in memory. A fresh or cleared builder holds a live record
// whose fields are all NULL.
class RecordBuilder {
 public:
  explicit RecordBuilder(const TableSchema& schema)
      : schema_(&schema), bytes_(schema.RecordLength()) {
    Clear();
  }

  void Clear() {
    std::fill(bytes_.begin(), bytes_.end(), 0);
    const size_t count = schema_->FieldCount();
    for (size_t i = 0; i < count; ++i) bytes_[1 + i / 8] |= static_cast<uint8_t>(1u << (i % 8));
  }

  void SetNull(size_t field) {
    bytes_[1 + field / 8] |= static_cast<uint8_t>(1u << (field % 8));
    const FieldInfo& f = schema_->Field(field);
    std::memset(bytes_.data() + f.Offset, 0, f.Length);
  }

  // Stores `text` blank padded; an error (8113) when it is longer than the
  // field once its trailing blanks are dropped.
  Status SetChars(size_t field, std::string_view text);
  void SetInteger(size_t field, int32_t value) { detail::StoreLittle(Mark(field), value); }
  void SetDouble(size_t field, double value) { detail::StoreLittle(Mark(field), value); }
  void SetDate(size_t field, int32_t day_number) { detail::StoreLittle(Mark(field), day_number); }
  void SetLogical(size_t field, bool value) { *Mark(field) = value ? 1 : 0; }

  const TableSchema& Schema() const { return *schema_; }
  const uint8_t* Data() const { return bytes_.data(); }
  RecordView View() const { return RecordView(*schema_, bytes_.data()); }

 private:
  // Clears the field's null bit and answers where its value goes.
  uint8_t* Mark(size_t field) {
    bytes_[1 + field / 8] &= static_cast<uint8_t>(~(1u << (field % 8)));
    return bytes_.data() + schema_->Field(field).Offset;
  }

  const TableSchema* schema_;
  std::vector<uint8_t> bytes_;
};

}  // namespace engine
