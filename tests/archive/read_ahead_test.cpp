// The read-ahead worker changes nothing a caller can see: every archive shape
// gives the same events in the same order, the same files and the same end
// of the run with the worker as without it, and with the worker the
// archive's encrypted data is read by another thread.
#include "archive/read_ahead.h"

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <memory>
#include <thread>

#include "archive/decoder_io.h"
#include "archive/huffman.h"
#include "archive/zip_constants.h"
#include "tests/archive/hostile_zip.h"
#include "tests/archive/unzipper_test_fixture.h"
#include "tests/common/forwarding_files.h"

namespace archive_test {
namespace {

// Archive volumes whose reads are watched: whether any came from another
// thread than the test's, and a read that fails where it covers a given offset.
class WatchedFile : public testing_support::ForwardingFile {
 public:
  WatchedFile(std::unique_ptr<platform::File> real, std::atomic<bool>& offThread, int64_t failAt)
      : ForwardingFile(std::move(real)), offThread_(offThread), failAt_(failAt) {}
  int32_t Read(void* b, int32_t n) override {
    if (std::this_thread::get_id() != owner_) offThread_ = true;
    const int64_t at = real_->Seek(0, platform::SeekOrigin::Current);
    if (failAt_ >= at && failAt_ < at + n) throw support::EReadError("Read error on the archive");
    return real_->Read(b, n);
  }

 private:
  std::atomic<bool>& offThread_;
  int64_t failAt_;
  std::thread::id owner_ = std::this_thread::get_id();
};

class WatchedVolumes : public testing_support::ForwardingFiles {
 public:
  using ForwardingFiles::ForwardingFiles;
  std::unique_ptr<platform::File> Open(const std::string& path, platform::OpenMode mode,
                                       std::string* errorText) override {
    auto file = real_.Open(path, mode, errorText);
    if (!file || path.find("vol") == std::string::npos) return file;
    return std::make_unique<WatchedFile>(std::move(file), offThread, failAt);
  }
  std::atomic<bool> offThread{false};
  int64_t failAt = -1;
};

// A member of one fixed-code Deflate block: "a" and matches 258 bytes long
// at distance 1, so that the decoder needs Huffman tables.
Member FixedCodeRun(const std::string& name, int matches) {
  std::string out;
  uint32_t acc = 0;
  int held = 0;
  auto put = [&](uint32_t v, int bits) {
    acc |= v << held;
    for (held += bits; held >= 8; held -= 8, acc >>= 8) out += char(acc & 0xFF);
  };
  auto code = [&](uint32_t c, int bits) {  // Huffman codes go most significant bit first
    uint32_t r = 0;
    for (int i = 0; i < bits; ++i) r |= ((c >> i) & 1) << (bits - 1 - i);
    put(r, bits);
  };
  put(1, 1), put(1, 2);  // the last block, fixed codes
  code(0x30 + 'a', 8);
  for (int i = 0; i < matches; ++i) code(0xC0 + 285 - 280, 8), code(0, 5);  // 258 bytes, distance 1
  code(0, 7);                                                               // end of block
  if (held > 0) out += char(acc & 0xFF);
  const std::string text(1 + 258 * size_t(matches), 'a');
  Member m(name, out);
  m.method = 8;
  m.crc = CrcOf(text);
  m.declaredSize = int32_t(text.size());
  return m;
}

std::string Text(size_t n) {
  std::string s;
  while (s.size() < n) s += "row " + std::to_string(s.size() * 7919 % 100003) + ";\n";
  return s.substr(0, n);
}

Member Packed(const std::string& name, const std::string& text, uint16_t method,
              const std::string& password) {
  Member m(name, method == 8 ? StoredDeflate(text) : text);
  m.method = method;
  m.crc = CrcOf(text);
  m.declaredSize = int32_t(text.size());
  m.password = password;
  return m;
}

// Cuts an archive into volumes at the given offsets (inside members' data,
// never inside a header): the central directory and the end record go with
// the last volume, and each record names the volume its member starts on.
std::vector<std::string> Split(const std::string& zip, const std::vector<size_t>& cuts) {
  if (cuts.empty()) return {zip};
  ZipLayout layout = Layout(zip);
  std::string central = zip.substr(layout.centralOffset);
  const size_t last = cuts.back();
  for (size_t at = 0; at + 46 <= central.size() && central.compare(at, 4, "PK\x01\x02") == 0;) {
    auto p = reinterpret_cast<const uint8_t*>(central.data()) + at;
    uint32_t offset = archive::zip::Get32(p + 42);
    uint16_t disk = 0;
    size_t start = 0;
    for (size_t cut : cuts)
      if (offset >= cut) ++disk, start = cut;
    Patch16(central, at + 34, disk);
    Patch32(central, at + 42, uint32_t(offset - start));
    at += 46 + archive::zip::Get16(p + 28) + archive::zip::Get16(p + 30) +
          archive::zip::Get16(p + 32);
  }
  size_t end = central.size() - (zip.size() - layout.endRecord);
  const uint16_t lastDisk = uint16_t(cuts.size());
  Patch16(central, end + 4, lastDisk);
  Patch16(central, end + 6, lastDisk);
  Patch32(central, end + 16, uint32_t(layout.centralOffset - last));
  std::vector<std::string> volumes;
  size_t from = 0;
  for (size_t cut : cuts) volumes.push_back(zip.substr(from, cut - from)), from = cut;
  volumes.push_back(zip.substr(last, layout.centralOffset - last) + central);
  return volumes;
}

// What a caller sees of one run: events, message processing, volume
// requests, the run's result or error, and the files left behind.
struct Transcript {
  std::vector<std::string> log;
  bool offThread = false;  // the archive was read by another thread too
};

struct Shape {
  const char* name;
  uint16_t method;
  const char* password;           // of the members; the component's unless a twist changes it
  std::vector<size_t> cuts = {};  // volume ends, counted from the first member's data
  std::function<void(std::string& zip, size_t data)> damage = nullptr;
  std::function<void(archive::TUnZipper&)> twist = nullptr;
  bool readsAhead = true;              // a member is decoded, so the worker has data to read
  const char* lastPassword = nullptr;  // of the last member, when it has another one
  bool fixedCodes = false;             // the first member is one run of a fixed-code Deflate block
};

class ReadAheadTest : public UnZipperTest {
 protected:
  Transcript RunShape(const Shape& shape, bool readAhead) {
    testing_support::RemoveTree(temp / "out");
    const std::string big = Text(150000), mid = Text(40000);
    std::vector<Member> members = {
        shape.fixedCodes ? FixedCodeRun("big.txt", 600)
                         : Packed("big.txt", big, shape.method, shape.password),
        Packed("small.txt", "small", shape.method, shape.password),
        Packed("mid.txt", mid, shape.method,
               shape.lastPassword ? shape.lastPassword : shape.password)};
    std::string zip = BuildZip(members);
    const size_t data = 30 + 7 + (*shape.password ? 12 : 0);
    if (shape.damage) shape.damage(zip, data);
    std::vector<size_t> cuts;
    for (size_t cut : shape.cuts) cuts.push_back(data + cut);
    std::vector<std::string> volumes = Split(zip, cuts);
    for (size_t i = 0; i < volumes.size(); ++i)
      EXPECT_TRUE(testing_support::WriteFileBytes(Volume(int(i + 1)), volumes[i]));

    platform::Files* saved = platform::Current().files;
    WatchedVolumes files(*saved);
    files_ = &files;
    platform::Current().files = &files;
    {
      archive::TUnZipper z;
      z.ReadAhead = readAhead;
      // Small archives would fit one read of the default buffer, made before
      // the worker starts; a small buffer leaves the worker its file reads.
      z.ArchiveBufferSize = 8192;
      z.SetZipName(Volume(int(volumes.size())));
      z.SetDestDir(temp / "out");
      z.DoAll = true;
      z.OverwriteMode = archive::Always;
      z.Password = shape.password;
      LogEvents();
      z.OnStartUnZipInfo = zipper.OnStartUnZipInfo;
      z.OnStartUnZip = zipper.OnStartUnZip;
      z.OnEndUnZip = zipper.OnEndUnZip;
      z.OnFilePercentDone = zipper.OnFilePercentDone;
      z.OnTotalPercentDone = zipper.OnTotalPercentDone;
      z.OnSkippingFile = zipper.OnSkippingFile;
      z.OnBadCRC = zipper.OnBadCRC;
      z.OnGetNextDisk = [this](archive::TUnZipper*, int disk, std::string& name) {
        log.push_back("disk " + std::to_string(disk));
        name = Volume(disk);
      };
      const std::thread::id caller = std::this_thread::get_id();
      ui.onMessageBox = [&](const platform::MessageBoxRequest& box) {
        log.push_back("box " + box.text +
                      (std::this_thread::get_id() == caller ? "" : " off thread"));
      };
      ui.answers.assign(4, platform::kButtonOk);
      int calls = 0;
      cancelAt = 0;
      ui.onProcessMessages = [&] {
        log.push_back("messages");
        if (++calls == cancelAt) z.Cancel = true;
      };
      if (shape.twist) shape.twist(z);
      try {
        log.push_back("result " + std::to_string(z.UnZip()));
      } catch (const support::Exception& e) {
        log.push_back("raised " + e.Message());
      }
      for (const char* name : {"big.txt", "small.txt", "mid.txt"}) {
        std::string bytes;
        bool there = testing_support::ReadFileBytes(Out(name), bytes);
        char text[64];
        std::snprintf(text, sizeof text, "file %s %d %zu %08X", name, int(there), bytes.size(),
                      unsigned(CrcOf(bytes)));
        log.push_back(text);
      }
    }
    platform::Current().files = saved;
    files_ = nullptr;
    ui.onProcessMessages = nullptr;
    ui.onMessageBox = nullptr;
    ui.answers.clear();
    archive::SetHuffAllocator(nullptr);
    Transcript t;
    t.log.swap(log);
    t.offThread = files.offThread;
    return t;
  }

  std::string Volume(int n) const { return temp / ("vol" + std::to_string(n)); }

  WatchedVolumes* files_ = nullptr;  // during a run
  int cancelAt = 0;                  // the message processing that sets the cancel request
};

void FlipByte(std::string& zip, size_t at) { zip[at] = char(zip[at] ^ 0x20); }

TEST_F(ReadAheadTest, EventsFilesAndEndOfTheRunAreTheSameWithAndWithoutTheWorker) {
  const auto cancelAt = [this](int call) {
    return [this, call](archive::TUnZipper&) { this->cancelAt = call; };
  };
  const auto wrongPassword = [](archive::TUnZipper& z) { z.Password = "wrong"; };
  const auto offerRightPassword = [](archive::TUnZipper& z) {
    z.Password = "wrong";
    z.OnBadPassword = [](archive::TUnZipper*, int, std::string& p) { p = "secret"; };
  };
  const auto failingHandler = [](archive::TUnZipper& z) {
    auto calls = std::make_shared<int>(0);
    auto inner = z.OnFilePercentDone;
    z.OnFilePercentDone = [calls, inner](archive::TUnZipper* s, int p) {
      inner(s, p);
      if (++*calls == 4) throw support::EWriteError("handler failed");
    };
  };
  const auto offerOtherPassword = [](archive::TUnZipper& z) {
    z.OnBadPassword = [](archive::TUnZipper*, int, std::string& p) { p = "other"; };
  };
  // The second table block cannot be allocated: the decoder stops after its
  // box, shown on the caller's thread.
  static int allocationsLeft = 0;
  const auto tableMemoryFails = [](archive::TUnZipper&) {
    allocationsLeft = 1;
    archive::SetHuffAllocator(
        [](size_t bytes) { return allocationsLeft-- > 0 ? std::malloc(bytes) : nullptr; });
  };
  const auto readFailsAt = [this](int64_t offset) {
    return [this, offset](archive::TUnZipper&) { files_->failAt = offset; };
  };
  // The single-volume archive ends 50000 bytes into the first member's data:
  // everything behind is cut off, the central directory moved up.
  const auto truncate = [](std::string& zip, size_t data) {
    ZipLayout layout = Layout(zip);
    std::string central = zip.substr(layout.centralOffset);
    Patch32(central, central.size() - 22 + 16, uint32_t(data + 50000));
    zip = zip.substr(0, data + 50000) + central;
  };
  const Shape shapes[] = {
      {"Stored", 0, "", {}},
      {"StoredPassword", 0, "secret", {}},
      {"Deflate", 8, "", {}},
      {"DeflatePassword", 8, "secret", {}},
      // Volumes ending inside a chunk, on a chunk's end, and one shorter than a chunk.
      {"SplitStoredPassword", 0, "secret", {20000, 25000, 48000, 160000}},
      {"SplitDeflatePassword", 8, "secret", {20000, 25000, 48000, 160000}},
      {"SplitDeflate", 8, "", {33333}},
      {"CancelMidMember", 8, "secret", {}, nullptr, cancelAt(3)},
      {"CancelAfterVolumeSwitch", 8, "secret", {20000}, nullptr, cancelAt(3)},
      {"BadPassword", 8, "secret", {}, nullptr, wrongPassword, false},
      {"BadPasswordThenRightOne", 8, "secret", {}, nullptr, offerRightPassword},
      {"DamagedStored", 0, "", {}, [](std::string& z, size_t d) { FlipByte(z, d + 70000); }},
      {"DamagedDeflatePassword",
       8,
       "secret",
       {},
       [](std::string& z, size_t d) { FlipByte(z, d + 70000); }},
      {"TruncatedStored", 0, "", {}, truncate},
      {"TruncatedStoredPassword", 0, "secret", {}, truncate},
      {"TruncatedDeflatePassword", 8, "secret", {}, truncate},
      {"HandlerRaises", 8, "secret", {}, nullptr, failingHandler},
      {"ReadFailsMidMember", 8, "secret", {}, nullptr, readFailsAt(90000)},
      {"ReadFailsOnSecondVolume", 0, "secret", {20000}, nullptr, readFailsAt(70000)},
      // The worker reads the later members' headers ahead, with the run's password.
      {"LastMemberHasOtherPassword", 8, "secret", {}, nullptr, offerOtherPassword, true, "other"},
      // Plain Deflate: large members are inflated on the worker.
      {"CancelMidPlainMember", 8, "", {}, nullptr, cancelAt(3)},
      {"DamagedPlainDeflate", 8, "", {}, [](std::string& z, size_t d) { FlipByte(z, d + 70000); }},
      {"TruncatedPlainDeflate", 8, "", {}, truncate},
      {"PlainHandlerRaises", 8, "", {}, nullptr, failingHandler},
      {"ReadFailsMidPlainMember", 8, "", {}, nullptr, readFailsAt(90000)},
      {"SplitPlainDeflateTwice", 8, "", {20000, 25000, 48000}},
      // The tables fail on the data of the first chunk, which the caller
      // read: the worker is started but reads nothing.
      {"TableOutOfMemory", 8, "", {}, nullptr, tableMemoryFails, false, nullptr, true},
  };
  for (const Shape& shape : shapes) {
    SCOPED_TRACE(shape.name);
    Transcript alone = RunShape(shape, false);
    Transcript ahead = RunShape(shape, true);
    EXPECT_EQ(ahead.log, alone.log);
    EXPECT_FALSE(alone.offThread);
    // The worker reads encrypted data, and that of large Deflate members,
    // which it inflates; reading alone gains nothing from a second thread.
    EXPECT_EQ(ahead.offThread, shape.readsAhead && (*shape.password || shape.method == 8));
  }
}

}  // namespace
// Encrypted data past the worker's ring: a member larger than the ring, then
// members the worker reads ahead as far as the ring reaches. The worker
// fills the ring and sleeps until part of it is free again; a worker left
// asleep would hang the run.
TEST_F(ReadAheadTest, DataPastTheRingIsReadWhole) {
  const size_t ring = size_t(archive::TReadAhead::kSlots) * archive::kInputChunk;
  const std::string big = Text(ring + ring / 4);
  std::vector<Member> members = {Packed("big.bin", big, 0, "secret")};
  for (int i = 0; i < 600; ++i)
    members.push_back(Packed("f" + std::to_string(i), Text(20000 + size_t(i)), 0, "secret"));
  UseArchive(BuildZip(members));
  zipper.ReadAhead = true;
  zipper.DoAll = true;
  zipper.OverwriteMode = archive::Always;
  zipper.Password = "secret";
  // The caller pauses twice, so that the worker gets ahead by the whole
  // ring: inside the large member, and inside the plan behind it.
  const auto pause = [] { std::this_thread::sleep_for(std::chrono::milliseconds(500)); };
  bool paused = false;
  zipper.OnFilePercentDone = [&](archive::TUnZipper*, int) {
    if (!paused) pause();
    paused = true;
  };
  zipper.OnStartUnZip = [&](archive::TUnZipper*, int i, const std::string&, bool&) {
    if (i == 100) pause();
  };
  EXPECT_EQ(zipper.UnZip(), 601);
  std::string bytes;
  ASSERT_TRUE(testing_support::ReadFileBytes(Out("big.bin"), bytes));
  EXPECT_TRUE(bytes == big);
  ASSERT_TRUE(testing_support::ReadFileBytes(Out("f599"), bytes));
  EXPECT_EQ(bytes, Text(20599));
}

}  // namespace archive_test
