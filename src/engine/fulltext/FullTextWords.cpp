#include "engine/fulltext/FullTextWords.h"

#include <algorithm>

#include "engine/util/FullTextErrors.h"

namespace engine {

bool IsWordByte(uint8_t byte) {
  if ((byte >= '0' && byte <= '9') || (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z'))
    return true;
  // Accented capitals and small letters, without the signs × (D7) and ÷ (F7).
  if (byte >= 0xC0) return byte != 0xD7 && byte != 0xF7;
  switch (byte) {
    case 0x83:  // ƒ
    case 0x8A:  // Š
    case 0x8C:  // Œ
    case 0x8E:  // Ž
    case 0x9A:  // š
    case 0x9C:  // œ
    case 0x9E:  // ž
    case 0x9F:  // Ÿ
    case 0xAA:  // ª
    case 0xB5:  // µ
    case 0xBA:  // º
      return true;
    default:
      return false;
  }
}

Status CheckWordOptions(const FullTextWordOptions& options) {
  auto in_range = [](uint32_t length) { return length >= 1 && length <= kMaxFullTextWordLength; };
  const std::string range = " is outside 1.." + std::to_string(kMaxFullTextWordLength);
  if (!in_range(options.MinWordLength)) {
    return Status(AE_FULLTEXT_BAD_OPTION,
                  "MIN_WORD_LENGTH " + std::to_string(options.MinWordLength) + range);
  }
  if (!in_range(options.MaxWordLength)) {
    return Status(AE_FULLTEXT_BAD_OPTION,
                  "MAX_WORD_LENGTH " + std::to_string(options.MaxWordLength) + range);
  }
  if (options.MinWordLength > options.MaxWordLength) {
    return Status(AE_FULLTEXT_BAD_OPTION,
                  "MIN_WORD_LENGTH " + std::to_string(options.MinWordLength) +
                      " is more than MAX_WORD_LENGTH " + std::to_string(options.MaxWordLength));
  }
  return Status::Ok();
}

WordSplitter::WordSplitter(const FullTextWordOptions& options, const CharTable& chars)
    : options_(options), chars_(chars) {
  for (int byte = 0; byte < 256; ++byte) {
    const auto b = static_cast<uint8_t>(byte);
    if (!IsWordByte(b)) continue;
    const uint8_t upper = chars.Upper[b];
    // A table that maps a letter to byte 0 would end words there; keep the
    // letter as it is instead.
    fold_[b] = upper == 0 ? b : upper;
  }
  for (const std::string& noise : options_.NoiseWords) {
    if (!noise.empty()) noise_.insert(Fold(noise));
  }
}

std::string WordSplitter::Fold(std::string_view word) const {
  std::string folded(word);
  for (char& c : folded) {
    const uint8_t mapped = fold_[static_cast<uint8_t>(c)];
    if (mapped != 0) c = static_cast<char>(mapped);
  }
  return folded;
}

bool WordSplitter::IsIndexed(std::string_view folded) const {
  return folded.size() >= options_.MinWordLength && folded.size() <= options_.MaxWordLength &&
         noise_.find(folded) == noise_.end();
}

std::vector<std::string> WordSplitter::FoldedNoiseWords() const {
  std::vector<std::string> words(noise_.begin(), noise_.end());
  std::sort(words.begin(), words.end());
  return words;
}

}  // namespace engine
