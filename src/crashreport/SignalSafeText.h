// Text built in a fixed buffer, for code that runs in a signal handler: no
// allocation, no locale, no stdio. What does not fit is cut off.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace crashreport {

class TFixedText {
 public:
  TFixedText(char* buffer, size_t capacity) : buffer_(buffer), capacity_(capacity) {
    if (capacity_ > 0) buffer_[0] = '\0';
  }

  TFixedText& Append(const char* text, size_t length) {
    if (capacity_ == 0) return *this;
    for (size_t i = 0; i < length && size_ + 1 < capacity_; ++i) buffer_[size_++] = text[i];
    buffer_[size_] = '\0';
    return *this;
  }

  TFixedText& Append(const char* text) { return text ? Append(text, std::strlen(text)) : *this; }

  TFixedText& AppendUnsigned(uint64_t value) {
    char digits[24];
    size_t count = 0;
    do {
      digits[count++] = static_cast<char>('0' + value % 10);
      value /= 10;
    } while (value != 0);
    while (count > 0) Append(&digits[--count], 1);
    return *this;
  }

  // Hexadecimal with at least `min_digits` digits, upper-case, no prefix.
  TFixedText& AppendHex(uint64_t value, int min_digits) {
    static const char kDigits[] = "0123456789ABCDEF";
    char digits[16];
    int count = 0;
    do {
      digits[count++] = kDigits[value & 0xF];
      value >>= 4;
    } while (value != 0 && count < 16);
    while (count < min_digits && count < 16) digits[count++] = '0';
    while (count > 0) Append(&digits[--count], 1);
    return *this;
  }

  // Two digits (with a leading zero) or three for `width` 3.
  TFixedText& AppendPadded(uint64_t value, int width) {
    if (width >= 3 && value < 100) Append("0");
    if (width >= 2 && value < 10) Append("0");
    return AppendUnsigned(value);
  }

  const char* Data() const { return buffer_; }
  size_t Size() const { return size_; }

 private:
  char* buffer_;
  size_t capacity_;
  size_t size_ = 0;
};

// Appends `size` bytes to the file `path` (created when missing) with one
// write, then closes it. Async-signal-safe; false when anything fails.
bool AppendToFileSignalSafe(const char* path, const char* data, size_t size);

}  // namespace crashreport
