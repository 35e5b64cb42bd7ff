#include "engine/index/BTreePage.h"

#include "engine/util/IndexFileErrors.h"

namespace engine {

Status CheckNodePage(const TreeShape& shape, const uint8_t* page, uint32_t self,
                     int expected_level) {
  const NodeHeader header = ReadNodeHeader(page);
  auto corrupt = [&](const std::string& what) {
    return Status(AE_INDEX_CORRUPT, "Index file " + shape.FileName + ", tag " + shape.TagName +
                                        ", page " + std::to_string(shape.FirstPage + self) + ": " +
                                        what);
  };
  if (header.Type != kLeafPage && header.Type != kBranchPage) return corrupt("not a B+tree page");
  if ((header.Type == kLeafPage) != (header.Level == 0))
    return corrupt("the page type does not suit its level");
  if (header.Level >= kMaxTreeHeight)
    return corrupt("level " + std::to_string(header.Level) + " is too deep");
  if (expected_level >= 0 && header.Level != expected_level) {
    return corrupt("level " + std::to_string(header.Level) + " where " +
                   std::to_string(expected_level) + " was expected");
  }
  if (header.TagSerial != shape.TagSerial) return corrupt("the page belongs to another tag");
  if (header.Self != self)
    return corrupt("the page says it is page " + std::to_string(header.Self) + " of its tag");
  const uint32_t capacity = header.Type == kLeafPage
                                ? LeafCapacity(shape.PageSize, shape.KeyLength)
                                : BranchCapacity(shape.PageSize, shape.KeyLength);
  if (header.Count > capacity) {
    return corrupt(std::to_string(header.Count) + " entries where at most " +
                   std::to_string(capacity) + " fit");
  }
  if (header.Type == kBranchPage && header.Count == 0)
    return corrupt("a branch page without entries");
  if (header.Previous != kNoPage && header.Previous >= shape.PageCount)
    return corrupt("the previous-page link is out of range");
  if (header.Next != kNoPage && header.Next >= shape.PageCount)
    return corrupt("the next-page link is out of range");
  if (header.Type == kBranchPage) {
    const uint32_t entry = shape.KeyLength + kRecordNumberSize + kChildSize;
    for (uint32_t i = 0; i < header.Count; ++i) {
      const uint32_t child =
          Load32(page + kNodeHeaderSize + i * entry + shape.KeyLength + kRecordNumberSize);
      if (child >= shape.PageCount)
        return corrupt("child " + std::to_string(i) + " is out of range");
    }
  }
  return Status::Ok();
}

}  // namespace engine
