// Places for a full-text tag's pages outside an index file: in memory, or a
// plain file of pages. Both take pages from a builder (PageSink, numbered
// in the file) and give them to a reader (FullTextPageSource, numbered
// within the tag).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/fulltext/FullTextFormat.h"
#include "engine/index/BTreeBuilder.h"
#include "engine/util/EngineError.h"

namespace engine {

class MemoryPageStore : public PageSink, public FullTextPageSource {
 public:
  // Pages of `page_size` bytes; the tag's page 0 is file page `first_page`.
  MemoryPageStore(uint32_t page_size, uint32_t first_page = 0);

  Status WritePage(uint32_t file_page, const uint8_t* page) override;
  Status ReadPage(uint32_t tag_page, uint8_t* buffer) override;

  uint32_t PageCount() const { return static_cast<uint32_t>(pages_.size() / page_size_); }
  // The bytes of a tag page, to look at or to damage on purpose.
  uint8_t* Page(uint32_t tag_page) { return pages_.data() + uint64_t{tag_page} * page_size_; }
  uint64_t ReadCount() const { return reads_; }

 private:
  uint32_t page_size_;
  uint32_t first_page_;
  std::vector<uint8_t> pages_;
  uint64_t reads_ = 0;
};

class FilePageStore : public PageSink, public FullTextPageSource {
 public:
  FilePageStore() = default;
  ~FilePageStore();
  FilePageStore(const FilePageStore&) = delete;
  FilePageStore& operator=(const FilePageStore&) = delete;

  // Creates (or empties) the file `path` for pages of `page_size` bytes.
  Status Create(const std::string& path, uint32_t page_size);
  // Opens an existing file of pages.
  Status Open(const std::string& path, uint32_t page_size);

  // The tag's page 0 is file page 0.
  Status WritePage(uint32_t file_page, const uint8_t* page) override;
  Status ReadPage(uint32_t tag_page, uint8_t* buffer) override;
  Status Sync();

 private:
  Status Fail(const std::string& what, int error) const;

  std::string path_;
  uint32_t page_size_ = 0;
  int fd_ = -1;
};

}  // namespace engine
