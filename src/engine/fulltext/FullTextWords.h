// Words of a full-text tag: how a text is split, folded and filtered.
//
// A word is a run of letters and digits of the ANSI code page (windows-1252:
// A..Z, a..z, 0..9 and the accented and other letters such as é, ß, Œ, š, ÿ,
// ª, º, µ); every other byte separates words. Words are compared without
// case: each byte goes through the character table's upper-case map, so
// "école" and "ÉCOLE" are one word. A word shorter than the minimum or longer
// than the maximum length, or equal (after folding) to a noise word, is not
// indexed.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "engine/util/CharTable.h"
#include "engine/util/EngineError.h"

namespace engine {

inline constexpr uint32_t kDefaultMinWordLength = 1;
inline constexpr uint32_t kDefaultMaxWordLength = 60;
// The longest word a tag may index: two entries of the word tree's branch
// pages must fit the smallest page (512 bytes).
inline constexpr uint32_t kMaxFullTextWordLength = 120;

// How a tag's words are chosen, as CREATE INDEX ... CONTENT gives it.
struct FullTextWordOptions {
  uint32_t MinWordLength = kDefaultMinWordLength;  // bytes, 1..kMaxFullTextWordLength
  uint32_t MaxWordLength = kDefaultMaxWordLength;  // bytes, MinWordLength..kMaxFullTextWordLength
  std::vector<std::string> NoiseWords;             // as written; folded when used

  bool operator==(const FullTextWordOptions&) const = default;
};

// Whether the options are usable (lengths in range, minimum <= maximum);
// the error names the option.
Status CheckWordOptions(const FullTextWordOptions& options);

// Whether `byte` belongs to words (a letter or digit of windows-1252).
bool IsWordByte(uint8_t byte);

// Splits texts into the words a tag indexes. REQUIRES: CheckWordOptions(options).
// The character table must outlive the splitter.
class WordSplitter {
 public:
  WordSplitter(const FullTextWordOptions& options, const CharTable& chars);

  // Calls `on_word(std::string_view folded)` for every indexed word of
  // `text`, in order, repeats included. The view is valid during the call.
  template <typename OnWord>
  void ForEachWord(std::string_view text, OnWord&& on_word) const;

  // The folded form of one word (every byte through the upper-case map).
  std::string Fold(std::string_view word) const;

  // Whether a folded word is indexed: its length is within the limits and it
  // is no noise word.
  bool IsIndexed(std::string_view folded) const;

  const FullTextWordOptions& Options() const { return options_; }
  // The noise words folded, sorted and without repeats.
  std::vector<std::string> FoldedNoiseWords() const;
  const CharTable& Chars() const { return chars_; }

 private:
  FullTextWordOptions options_;
  const CharTable& chars_;
  struct TextHash {
    using is_transparent = void;
    size_t operator()(std::string_view text) const { return std::hash<std::string_view>{}(text); }
  };

  std::array<uint8_t, 256> fold_{};  // 0 for a separator, else the folded byte
  std::unordered_set<std::string, TextHash, std::equal_to<>> noise_;  // folded
};

template <typename OnWord>
void WordSplitter::ForEachWord(std::string_view text, OnWord&& on_word) const {
  char word[kMaxFullTextWordLength];
  const size_t size = text.size();
  size_t at = 0;
  while (at < size) {
    while (at < size && fold_[static_cast<uint8_t>(text[at])] == 0) ++at;
    size_t length = 0;
    while (at < size) {
      const uint8_t folded = fold_[static_cast<uint8_t>(text[at])];
      if (folded == 0) break;
      if (length < options_.MaxWordLength) word[length] = static_cast<char>(folded);
      ++length;
      ++at;
    }
    if (length == 0 || length < options_.MinWordLength || length > options_.MaxWordLength) {
      continue;
    }
    const std::string_view folded(word, length);
    if (!noise_.empty() && noise_.find(folded) != noise_.end()) continue;
    on_word(folded);
  }
}

}  // namespace engine
