#include "engine/util/FileIo.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "support/TempDir.h"

namespace {

using engine::FileIoResult;

class FileIo : public ::testing::Test {
 protected:
  void SetUp() override {
    fd_ = open((dir_ / "data").c_str(), O_CREAT | O_RDWR | O_CLOEXEC, 0644);
    ASSERT_GE(fd_, 0);
  }
  void TearDown() override {
    if (fd_ >= 0) close(fd_);
  }
  TempDir dir_;
  int fd_ = -1;
};

TEST_F(FileIo, WritesAndReadsBackARangeAtItsOffset) {
  const std::string text = "0123456789abcdef";
  ASSERT_TRUE(engine::WriteFully(fd_, text.data(), text.size(), 100).Ok());
  std::string back(6, '\0');
  const FileIoResult read = engine::ReadFully(fd_, back.data(), back.size(), 110);
  EXPECT_TRUE(read.Ok());
  EXPECT_EQ(read.Done, 6u);
  EXPECT_EQ(back, "abcdef");
  // The bytes before the range read as zeros: the write went to its offset.
  char first = 'x';
  EXPECT_TRUE(engine::ReadFully(fd_, &first, 1, 0).Ok());
  EXPECT_EQ(first, '\0');
}

TEST_F(FileIo, AReadPastTheEndSaysSoAndHowMuchItGot) {
  ASSERT_TRUE(engine::WriteFully(fd_, "abcd", 4, 0).Ok());
  char buffer[10] = {};
  const FileIoResult read = engine::ReadFully(fd_, buffer, sizeof buffer, 1);
  EXPECT_FALSE(read.Ok());
  EXPECT_TRUE(read.Ended);
  EXPECT_EQ(read.Errno, 0);
  EXPECT_EQ(read.Done, 3u);
  EXPECT_EQ(std::string(buffer, 3), "bcd");
}

TEST_F(FileIo, AFailedCallGivesItsErrno) {
  const int read_only = open((dir_ / "data").c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_GE(read_only, 0);
  const FileIoResult written = engine::WriteFully(read_only, "x", 1, 0);
  close(read_only);
  EXPECT_EQ(written.Errno, EBADF);
  EXPECT_EQ(written.Done, 0u);
  char c = 0;
  EXPECT_EQ(engine::ReadFully(-1, &c, 1, 0).Errno, EBADF);
}

TEST_F(FileIo, NothingToMoveIsDone) {
  EXPECT_TRUE(engine::ReadFully(fd_, nullptr, 0, 0).Ok());
  EXPECT_TRUE(engine::WriteFully(fd_, nullptr, 0, 0).Ok());
}

}  // namespace
