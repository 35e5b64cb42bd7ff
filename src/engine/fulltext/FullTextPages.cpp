#include "engine/fulltext/FullTextPages.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "engine/util/FileIo.h"
#include "engine/util/IndexFileErrors.h"

namespace engine {

MemoryPageStore::MemoryPageStore(uint32_t page_size, uint32_t first_page)
    : page_size_(page_size), first_page_(first_page) {}

Status MemoryPageStore::WritePage(uint32_t file_page, const uint8_t* page) {
  if (file_page < first_page_) {
    return Status(AE_INDEX_IO, "Page " + std::to_string(file_page) + " is before the tag");
  }
  const uint64_t at = uint64_t{file_page - first_page_} * page_size_;
  if (pages_.size() < at + page_size_) pages_.resize(at + page_size_, 0);
  std::memcpy(pages_.data() + at, page, page_size_);
  return Status::Ok();
}

Status MemoryPageStore::ReadPage(uint32_t tag_page, uint8_t* buffer) {
  ++reads_;
  if (tag_page >= PageCount()) {
    return Status(AE_INDEX_CORRUPT, "Page " + std::to_string(tag_page) + " of the tag is missing");
  }
  std::memcpy(buffer, Page(tag_page), page_size_);
  return Status::Ok();
}

FilePageStore::~FilePageStore() {
  if (fd_ >= 0) close(fd_);
}

Status FilePageStore::Fail(const std::string& what, int error) const {
  return Status(AE_INDEX_IO, "Cannot " + what + " " + path_ + ": " + std::strerror(error));
}

Status FilePageStore::Create(const std::string& path, uint32_t page_size) {
  if (fd_ >= 0) close(fd_);
  path_ = path;
  page_size_ = page_size;
  fd_ = open(path.c_str(), O_CREAT | O_TRUNC | O_RDWR | O_CLOEXEC, 0644);
  return fd_ < 0 ? Fail("create", errno) : Status::Ok();
}

Status FilePageStore::Open(const std::string& path, uint32_t page_size) {
  if (fd_ >= 0) close(fd_);
  path_ = path;
  page_size_ = page_size;
  fd_ = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  return fd_ < 0 ? Fail("open", errno) : Status::Ok();
}

Status FilePageStore::WritePage(uint32_t file_page, const uint8_t* page) {
  const FileIoResult written = WriteFully(fd_, page, page_size_, uint64_t{file_page} * page_size_);
  if (written.Errno != 0) return Fail("write", written.Errno);
  return Status::Ok();
}

Status FilePageStore::ReadPage(uint32_t tag_page, uint8_t* buffer) {
  const FileIoResult read = ReadFully(fd_, buffer, page_size_, uint64_t{tag_page} * page_size_);
  if (read.Errno != 0) return Fail("read", read.Errno);
  if (read.Ended) {
    return Status(AE_INDEX_CORRUPT,
                  "File " + path_ + " ends inside page " + std::to_string(tag_page));
  }
  return Status::Ok();
}

Status FilePageStore::Sync() {
  return fsync(fd_) == 0 ? Status::Ok() : Fail("sync", errno);
}

}  // namespace engine
