// zipx on hostile archives made by a Python script at test time: each run ends
// with the right status and message, writes nothing outside the destination
// and finishes within seconds.
#ifndef _WIN32

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

namespace {

const std::string kZipx = std::string(SETUP_BINARY_DIR) + "/bin/zipx";

// Writes the hostile archives into the current folder.
const char* const kMaker = R"PY(
import struct, zipfile, zlib

def member(name, data, method=0, crc=None, usize=None, raw=None):
    return dict(name=name.encode('cp437'), data=data, method=method,
                crc=zlib.crc32(data) if crc is None else crc,
                usize=len(data) if usize is None else usize,
                raw=data if raw is None else raw)

def build(members, patch=None):
    out, central = b'', b''
    for m in members:
        offset = len(out)
        fixed = struct.pack('<HHIIIIH', 0, m['method'], 0x5A8C6000, m['crc'],
                            len(m['raw']), m['usize'], len(m['name']))
        out += b'PK\x03\x04' + struct.pack('<H', 20) + fixed + b'\0\0' + m['name'] + m['raw']
        central += (b'PK\x01\x02' + struct.pack('<HH', 20, 20) + fixed +
                    struct.pack('<HHHHII', 0, 0, 0, 0, 0x20, offset) + m['name'])
    cd = len(out)
    out += central + b'PK\x05\x06' + struct.pack('<HHHHIIH', 0, 0, len(members), len(members),
                                                  len(central), cd, 0)
    return out

def deflate(data):
    c = zlib.compressobj(9, zlib.DEFLATED, -15)
    return c.compress(data) + c.flush()

good = member('good.txt', b'good')
open('names.zip', 'wb').write(build([
    member('../../up.txt', b'1'), member('/abs.txt', b'2'), member('C:/drive.txt', b'3'),
    member('CON', b'4'), member('a/../../b.txt', b'5'), member('nul.txt', b'6')]))
# 20 MB of zeros in 20 KB, declared as 1000 bytes.
open('bomb.zip', 'wb').write(build([
    member('bomb.bin', b'', method=8, crc=0x12345678, usize=1000, raw=deflate(b'\0' * 20000000)),
    good]))
# The first member's data takes in the second member: the overlapping-member bomb.
# a.txt's central sizes and CRC are those of everything up to the directory.
arc = build([member('a.txt', b'a' * 10), member('x.txt', b'x' * 5000)])
span = arc[30 + 5:arc.index(b'PK\x01\x02')]
fixed = struct.pack('<IIII', zlib.crc32(span), len(span), len(span), 0)[:12]
cen = arc.index(b'PK\x01\x02')
arc = arc[:cen + 16] + fixed + arc[cen + 28:]
open('overlap.zip', 'wb').write(arc)
whole = build([member('a.txt', b'alpha'), member('b.txt', b'bravo')])
open('cut.zip', 'wb').write(whole[:len(whole) // 2])
open('crc.zip', 'wb').write(build([member('bad.txt', b'damaged', crc=1), good]))
huge = build([member('a.txt', b'alpha'), member('z.bin', b'zulu')])
cen2 = huge.index(b'PK\x01\x02', huge.index(b'PK\x01\x02') + 1)
huge = huge[:cen2 + 20] + struct.pack('<II', 0x7FFFFFF0, 0x7FFFFFF0) + huge[cen2 + 28:]
open('huge.zip', 'wb').write(huge)
)PY";

struct HostileCase {
  const char* archive;
  int status;           // zipx's exit status
  const char* message;  // a line zipx must print on stderr ("": stderr stays empty)
  const char* files;    // every file in the destination, sorted, one per line
};

class ZipxHostileTest : public ::testing::TestWithParam<HostileCase> {
 protected:
  static void SetUpTestSuite() {
    char pattern[] = "/tmp/zipx_hostile_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    std::ofstream(dir_ + "/make.py") << kMaker;
    ASSERT_EQ(Sh("python3 make.py"), 0) << err_;
  }
  static void TearDownTestSuite() { Sh("cd / && rm -rf '" + dir_ + "'"); }

  static int Sh(const std::string& command) {
    std::string full = "cd '" + dir_ + "' && { " + command + " ; } > .out 2> .err";
    int status = std::system(("bash -c '" + full + "'").c_str());
    out_ = Read(dir_ + "/.out");
    err_ = Read(dir_ + "/.err");
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  static std::string Read(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::stringstream ss;
    ss << f.rdbuf();
    return ss.str();
  }

  static std::string dir_, out_, err_;
};

std::string ZipxHostileTest::dir_, ZipxHostileTest::out_, ZipxHostileTest::err_;

TEST_P(ZipxHostileTest, EndsWithTheRightStatusInsideTheDestination) {
  const HostileCase& c = GetParam();
  const std::string dest = std::string("out_") + c.archive;
  auto started = std::chrono::steady_clock::now();
  int status = Sh("'" + kZipx + "' extract -o -d " + dest + " " + c.archive + ".zip");
  double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  std::string err = err_;
  EXPECT_EQ(status, c.status) << err;
  if (*c.message)
    EXPECT_NE(err.find(c.message), std::string::npos) << err;
  else
    EXPECT_EQ(err, "");
  EXPECT_LT(seconds, 20.0);
  ASSERT_EQ(Sh("if [ -d " + dest + " ]; then cd " + dest + " && find . -type f | sort; fi"), 0);
  EXPECT_EQ(out_, c.files);
  // Nothing beside the archives, the script and the destination folders.
  ASSERT_EQ(Sh("find . -mindepth 1 -maxdepth 1 ! -name \"*.zip\" ! -name \"out_*\" "
               "! -name make.py ! -name .out ! -name .err"),
            0);
  EXPECT_EQ(out_, "");
}

INSTANTIATE_TEST_SUITE_P(
    Archives, ZipxHostileTest,
    ::testing::Values(
        HostileCase{"names", 0, "",
                    "./_CON\n./_nul.txt\n./a/b.txt\n./abs.txt\n./drive.txt\n./up.txt\n"},
        HostileCase{"bomb", 1, "zipx: failed bomb.bin: CRC error", "./good.txt\n"},
        HostileCase{"overlap", 2, "zipx: Not a valid zip file!", ""},
        HostileCase{"cut", 2, "zipx: Incomplete Zip File", ""},
        HostileCase{"crc", 1, "zipx: failed bad.txt: CRC error", "./good.txt\n"},
        HostileCase{"huge", 1, "zipx: failed z.bin: CRC error", "./a.txt\n"}),
    [](const auto& info) { return std::string(info.param.archive); });

}  // namespace

#endif  // _WIN32
