// What the system sees of an extraction: each output file is opened once,
// its date is set through that handle, and its bytes arrive in large writes
// while the decoder's 16000-byte flushes and their events stay as they are;
// the archive's data is read in the decoder's chunks, one read each.
#include <algorithm>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "tests/common/forwarding_files.h"
#include "unzipper_test_fixture.h"

namespace {

using archive_test::BuildZip;
using archive_test::Member;
using archive_test::UnZipperTest;

// Records the reads and writes of one file.
class RecordingFile : public testing_support::ForwardingFile {
 public:
  RecordingFile(std::unique_ptr<platform::File> real, std::vector<int32_t>& reads,
                std::vector<int32_t>& writes)
      : ForwardingFile(std::move(real)), reads_(reads), writes_(writes) {}
  int32_t Read(void* b, int32_t n) override {
    reads_.push_back(n);
    return real_->Read(b, n);
  }
  int32_t Write(const void* b, int32_t n) override {
    writes_.push_back(n);
    return real_->Write(b, n);
  }

 private:
  std::vector<int32_t>& reads_;
  std::vector<int32_t>& writes_;
};

// Counts the opens of each path and the looks at it by name (folder checks,
// attributes), and records the writes made to it.
class RecordingFiles : public testing_support::ForwardingFiles {
 public:
  using ForwardingFiles::ForwardingFiles;
  std::unique_ptr<platform::File> Open(const std::string& path, platform::OpenMode mode,
                                       std::string* errorText) override {
    ++opens[path];
    auto file = real_.Open(path, mode, errorText);
    if (!file) return file;
    return std::make_unique<RecordingFile>(std::move(file), reads[path], writes[path]);
  }
  bool DirectoryExists(const std::string& path) override {
    ++folderChecks[path];
    return real_.DirectoryExists(path);
  }
  bool FileExists(const std::string& path) override {
    ++fileChecks[path];
    return real_.FileExists(path);
  }
  bool SetAttributes(const std::string& path, uint32_t a) override {
    ++attributeSets[path];
    return real_.SetAttributes(path, a);
  }
  std::map<std::string, int> opens, folderChecks, fileChecks, attributeSets;
  std::map<std::string, std::vector<int32_t>> reads, writes;
};

class OutputHandlesTest : public UnZipperTest {
 protected:
  void SetUp() override {
    saved_ = platform::Current().files;
    files_ = std::make_unique<RecordingFiles>(*saved_);
    platform::Current().files = files_.get();
  }
  void TearDown() override { platform::Current().files = saved_; }

  platform::Files* saved_ = nullptr;
  std::unique_ptr<RecordingFiles> files_;
};

std::string Bytes(size_t n) {
  std::string s(n, '\0');
  for (size_t i = 0; i < n; ++i) s[i] = char((i * 13 + i / 509) & 0xFF);
  return s;
}

TEST_F(OutputHandlesTest, OneOpenPerFileLargeWritesAndTheDateThroughTheHandle) {
  Member big("big.bin", Bytes(200000));
  big.dosDateTime = uint32_t((2018 - 1980) << 25 | 3 << 21 | 9 << 16 | 10 << 11 | 20 << 5 | 7);
  Member locked("locked.txt", "read-only text");
  locked.dosDateTime = uint32_t((2001 - 1980) << 25 | 12 << 21 | 31 << 16 | 23 << 11 | 59 << 5);
  locked.externalAttributes = 0x21;  // read-only, archive
  Member bad("bad.txt", "damaged");
  bad.crc = 0x12345678;
  const std::string zip = BuildZip({big, locked, bad});
  UseArchive(zip);
  zipper.DoAll = true;
  int percentEvents = 0;
  zipper.OnFilePercentDone = [&](archive::TUnZipper*, int) { ++percentEvents; };
  EXPECT_EQ(zipper.UnZip(), 2);

  for (const char* name : {"big.bin", "locked.txt", "bad.txt"})
    EXPECT_EQ(files_->opens[Out(name)], 1) << name;
  // 200000 bytes: three full 64 KB writes and the rest, while the decoder
  // still flushed (and reported) every 16000 bytes.
  EXPECT_EQ(files_->writes[Out("big.bin")], (std::vector<int32_t>{65536, 65536, 65536, 3392}));
  EXPECT_EQ(percentEvents, 13 + 1 + 1);
  // The archive side: a few reads of the archive's buffer size, not one
  // per chunk; an archive smaller than that buffer is read whole.
  std::vector<int32_t> archiveReads;
  for (const auto& [path, sizes] : files_->reads)
    archiveReads.insert(archiveReads.end(), sizes.begin(), sizes.end());
  const auto buffer = std::min<int32_t>(int32_t(zip.size()), archive::kArchiveBufferSize);
  for (int32_t size : archiveReads) EXPECT_EQ(size, buffer);
  EXPECT_LE(archiveReads.size(), 3u);
  EXPECT_EQ(Content("big.bin"), Bytes(200000));
  for (const Member* m : {&big, &locked}) {
    uint32_t stamp = 0;
    ASSERT_TRUE(files_->GetDosTime(Out(m->name), stamp));
    EXPECT_EQ(stamp, m->dosDateTime) << m->name;
  }
  EXPECT_TRUE(files_->GetAttributes(Out("locked.txt")) & platform::kAttrReadOnly);
  EXPECT_FALSE(Exists("bad.txt"));
}

// Members of one folder in a row: the folder is looked for once, a new file
// is not looked for before it is made (it may not replace one: the default
// mode asks), and each file's attributes go through its handle, not by name
// after the close. Should the folder go between two of its members, it is
// made again.
TEST_F(OutputHandlesTest, FilesOfOneFolderNeedNoLookupBesideTheirOpen) {
  Member a("d/a.txt", "a"), b("d/b.txt", "b"), c("d/c.txt", "c"), f("e/f.txt", "f");
  c.externalAttributes = 0x21;  // read-only, archive
  UseArchive(BuildZip({a, b, c, f}));
  zipper.DoAll = true;
  zipper.RecreateDirs = true;
  zipper.OnEndUnZip = [&](archive::TUnZipper*, int index, const std::string&) {
    if (index == 0) testing_support::RemoveTree(Out("d"));
  };
  EXPECT_EQ(zipper.UnZip(), 4);

  EXPECT_EQ(files_->folderChecks[Out("d\\")], 2);  // for a.txt, and once gone
  EXPECT_EQ(files_->folderChecks[Out("e\\")], 1);
  EXPECT_EQ(Content("d\\b.txt"), "b");
  EXPECT_EQ(Content("d\\c.txt"), "c");
  EXPECT_EQ(Content("e\\f.txt"), "f");
  EXPECT_TRUE(files_->GetAttributes(Out("d\\c.txt")) & platform::kAttrReadOnly);
  for (const char* name : {"d\\a.txt", "d\\c.txt", "e\\f.txt"})
    EXPECT_EQ(files_->fileChecks[Out(name)], 0) << name;
  for (const char* name : {"d\\b.txt", "d\\c.txt", "e\\f.txt"})
    EXPECT_EQ(files_->attributeSets[Out(name)], 0) << name;
}

}  // namespace
