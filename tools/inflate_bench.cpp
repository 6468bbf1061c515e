// inflate_bench: raw speed of the Deflate decoder on the Deflate members of a
// ZIP file (unencrypted), without file output, CRC or events.
//
//   inflate_bench ARCHIVE.zip [ROUNDS]
//
// The members are read into memory, decoded once with their CRC-32 checked,
// then decoded ROUNDS times (default 7) through an in-memory decoder I/O that
// refills in 16000-byte chunks like the member extraction. Prints MB/s of
// output for every round and the min/median/max, by the process's CPU time
// where the system offers it (a busy machine shares the wall clock with
// others), else by the wall clock.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#if defined(__unix__)
#include <time.h>
#endif

#include "archive/crc32.h"
#include "archive/decoders.h"

namespace {

double Seconds() {
#if defined(__unix__)
  timespec t;
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
#else
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
#endif
}

uint32_t Get16(const std::string& s, size_t at) {
  return uint8_t(s[at]) | uint32_t(uint8_t(s[at + 1])) << 8;
}
uint32_t Get32(const std::string& s, size_t at) { return Get16(s, at) | Get16(s, at + 2) << 16; }

struct TMember {
  std::string data;
  uint32_t size = 0;
  uint32_t crc = 0;
};

// Deflate members from the central directory (no ZIP64, no encryption).
std::vector<TMember> ReadMembers(const std::string& zip) {
  std::vector<TMember> members;
  size_t end = zip.size() < 22 ? std::string::npos : zip.size() - 22;
  while (end != std::string::npos && Get32(zip, end) != 0x06054b50)
    end = end ? end - 1 : std::string::npos;
  if (end == std::string::npos) return members;
  size_t at = Get32(zip, end + 16);
  for (uint32_t n = Get16(zip, end + 10); n > 0 && at + 46 <= zip.size(); --n) {
    uint32_t method = Get16(zip, at + 10), flags = Get16(zip, at + 8);
    uint32_t csize = Get32(zip, at + 20), local = Get32(zip, at + 42);
    if (method == 8 && (flags & 1) == 0 && local + 30 <= zip.size()) {
      size_t data = local + 30 + Get16(zip, local + 26) + Get16(zip, local + 28);
      if (data + csize <= zip.size())
        members.push_back({zip.substr(data, csize), Get32(zip, at + 24), Get32(zip, at + 16)});
    }
    at += 46 + Get16(zip, at + 28) + Get16(zip, at + 30) + Get16(zip, at + 32);
  }
  return members;
}

// The buffers of a run, allocated once as the unzip component does.
struct TBuffers {
  std::vector<uint8_t> in = std::vector<uint8_t>(archive::kBufferAlloc);
  std::vector<uint8_t> out = std::vector<uint8_t>(archive::kBufferAlloc);
  std::vector<uint8_t> window = std::vector<uint8_t>(archive::kWindowSize);
};

class TBenchIO : public archive::TDecoderIO {
 public:
  TBenchIO(const TMember& m, TBuffers& buffers, bool checkCrc)
      : m_(m), in_(buffers.in), checkCrc_(checkCrc) {
    outBuf = buffers.out.data();
    window = buffers.window.data();
    compressedLeft = compressedSize = static_cast<int32_t>(m.data.size());
    uncompressedSize = static_cast<int32_t>(m.size);
  }
  uint32_t NextChunk(const uint8_t*& data) override {
    size_t n = std::min<size_t>(m_.data.size() - read_, archive::kInputChunk);
    std::memcpy(in_.data(), m_.data.data() + read_, n);
    read_ += n;
    data = in_.data();
    return static_cast<uint32_t>(n);
  }
  void FlushOutput() override {
    if (checkCrc_) crc = archive::Crc32Update(crc, outBuf, outCount);
    produced += outCount;
    outCount = 0;
  }
  uint64_t produced = 0;
  uint32_t crc = 0xFFFFFFFF;

 private:
  const TMember& m_;
  std::vector<uint8_t>& in_;
  bool checkCrc_;
  size_t read_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: inflate_bench ARCHIVE.zip [ROUNDS]\n");
    return 2;
  }
  std::ifstream f(argv[1], std::ios::binary);
  std::string zip((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
  const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 7;
  const std::vector<TMember> members = ReadMembers(zip);
  if (members.empty()) {
    std::fprintf(stderr, "no unencrypted Deflate members in %s\n", argv[1]);
    return 1;
  }
  TBuffers buffers;
  uint64_t total = 0;
  for (const TMember& m : members) {
    TBenchIO io(m, buffers, true);
    archive::Inflate(io);
    if ((io.crc ^ 0xFFFFFFFF) != m.crc || io.produced != m.size) {
      std::fprintf(stderr, "member of %u bytes decodes wrong\n", m.size);
      return 1;
    }
    total += m.size;
  }
  std::vector<double> rates;
  for (int r = 0; r < rounds; ++r) {
    const double start = Seconds();
    for (const TMember& m : members) {
      TBenchIO io(m, buffers, false);
      archive::Inflate(io);
    }
    rates.push_back(double(total) / 1e6 / (Seconds() - start));
    std::printf("round %d: %.1f MB/s\n", r + 1, rates.back());
  }
  std::sort(rates.begin(), rates.end());
  std::printf("%zu members, %.1f MB out; MB/s min %.1f median %.1f max %.1f\n", members.size(),
              double(total) / 1e6, rates.front(), rates[rates.size() / 2], rates.back());
  return 0;
}
