// zipx end to end, natively: archives made at test time with Info-ZIP zip and
// Python's zipfile, and the archives made by other tools (the project's copies
// and the shared set), extracted with the zipx binary and checked on disk.
#ifndef _WIN32

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "archive/unzipper.h"
#include "tests/common/test_paths.h"

namespace {

const std::string kZipx = std::string(SETUP_BINARY_DIR) + "/bin/zipx";
const std::string kPassword = "1234567890123456789012345678901234";

class ZipxTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/zipx_test_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir = pattern;
    // Source files with fixed dates (even seconds, as MS-DOS keeps them).
    Sh("mkdir -p src/sub src/empty && printf 'hello world\\n' > src/a.txt && "
       "head -c 40000 /dev/urandom > src/sub/b.bin && seq 1 20000 > src/sub/c.txt && "
       "touch -d '2011-02-03 04:05:06' src/a.txt src/sub/b.bin src/sub/c.txt && "
       "chmod 444 src/a.txt");
  }
  void TearDown() override { Sh("chmod -R u+w . ; cd / && rm -rf '" + dir + "'"); }

  // Runs a bash command in the test folder; returns its exit status and keeps
  // stdout and stderr in out and err.
  int Sh(const std::string& command) {
    std::string full = "cd '" + dir + "' && { " + command + " ; } > .out 2> .err";
    int status = std::system(("bash -c \"" + Escape(full) + "\"").c_str());
    out = Read(dir + "/.out");
    err = Read(dir + "/.err");
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  int Zipx(const std::string& args) { return Sh("'" + kZipx + "' " + args); }

  static std::string Escape(const std::string& s) {
    std::string r;
    for (char c : s) {
      if (c == '"' || c == '\\' || c == '$' || c == '`') r += '\\';
      r += c;
    }
    return r;
  }
  static std::string Read(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::stringstream ss;
    ss << f.rdbuf();
    return ss.str();
  }
  bool Same(const std::string& a, const std::string& b) {
    return Sh("cmp '" + a + "' '" + b + "'") == 0;
  }
  bool Exists(const std::string& rel) {
    struct stat st;
    return stat((dir + "/" + rel).c_str(), &st) == 0;
  }
  // Writes a python script and runs it in the test folder.
  int Python(const std::string& script) {
    std::ofstream(dir + "/make.py") << "import zipfile, struct\n" << script;
    return Sh("python3 make.py");
  }

  std::string dir, out, err;
};

TEST_F(ZipxTest, StoredAndDeflatedMembersWithDatesAndAttributes) {
  for (const char* level : {"-0", "-6"}) {
    SCOPED_TRACE(level);
    ASSERT_EQ(Sh(std::string("rm -rf x.zip out && zip -q -r ") + level + " x.zip src"), 0);
    ASSERT_EQ(Zipx("extract -d out x.zip"), 0) << err;
    EXPECT_TRUE(Same("out/src/a.txt", "src/a.txt"));
    EXPECT_TRUE(Same("out/src/sub/b.bin", "src/sub/b.bin"));
    EXPECT_TRUE(Same("out/src/sub/c.txt", "src/sub/c.txt"));
    EXPECT_TRUE(Exists("out/src/empty"));
    EXPECT_EQ(Sh("stat -c %Y out/src/sub/c.txt src/sub/c.txt | uniq | wc -l"), 0);
    EXPECT_EQ(out, "1\n") << "modification times differ";
    EXPECT_EQ(Sh("stat -c %Y out/src/a.txt src/a.txt | uniq | wc -l"), 0);
    EXPECT_EQ(out, "1\n") << "time of the read-only file";
    EXPECT_EQ(Sh("stat -c %A out/src/a.txt out/src/sub/c.txt"), 0);
    EXPECT_EQ(out, "-r--r--r--\n-rw-r--r--\n") << "attributes";
  }
  ASSERT_EQ(Zipx("list x.zip"), 0);
  EXPECT_NE(out.find("\t8\t0\t"), std::string::npos) << out;
  EXPECT_NE(out.find("2011-02-03 04:05:06\tsrc\\a.txt\n"), std::string::npos) << out;
}

TEST_F(ZipxTest, PasswordsDataDescriptorsAndJunkedPaths) {
  ASSERT_EQ(Sh("zip -q -r -P " + kPassword + " e.zip src"), 0);
  EXPECT_EQ(Zipx("extract -d bad -P 1234567890123456789012345678901235 e.zip"), 1);
  EXPECT_NE(err.find("skipped src\\sub\\b.bin: wrong password"), std::string::npos) << err;
  EXPECT_EQ(Sh("find bad -type f | wc -l"), 0);
  EXPECT_EQ(out, "0\n");
  ASSERT_EQ(Zipx("extract -d good -P " + kPassword + " e.zip"), 0) << err;
  EXPECT_TRUE(Same("good/src/sub/b.bin", "src/sub/b.bin"));

  // zip writing to a pipe puts a data descriptor behind the member.
  ASSERT_EQ(Sh("zip -q -P " + kPassword + " - - < src/sub/c.txt > dd.zip"), 0);
  ASSERT_EQ(Zipx("extract -d dd -P " + kPassword + " dd.zip"), 0) << err;
  EXPECT_TRUE(Same("dd/-", "src/sub/c.txt"));
  EXPECT_EQ(Zipx("extract -d dd2 -P wrong dd.zip"), 1);
  EXPECT_FALSE(Exists("dd2/-"));

  ASSERT_EQ(Zipx("extract -j -d flat -P " + kPassword + " e.zip '*.txt'"), 0) << err;
  EXPECT_TRUE(Same("flat/c.txt", "src/sub/c.txt"));
  EXPECT_FALSE(Exists("flat/b.bin"));
  EXPECT_FALSE(Exists("flat/src"));
}

TEST_F(ZipxTest, ExistingFilesAreKeptUnlessOverwriting) {
  ASSERT_EQ(Sh("zip -q -r x.zip src && mkdir -p out/src && echo old > out/src/a.txt"), 0);
  EXPECT_EQ(Zipx("extract -d out x.zip"), 1);
  EXPECT_NE(err.find("skipped src\\a.txt: file exists"), std::string::npos) << err;
  EXPECT_EQ(Read(dir + "/out/src/a.txt"), "old\n");
  EXPECT_TRUE(Same("out/src/sub/c.txt", "src/sub/c.txt"));
  EXPECT_EQ(Zipx("extract -o -d out x.zip"), 0) << err;
  EXPECT_TRUE(Same("out/src/a.txt", "src/a.txt"));
}

TEST_F(ZipxTest, DamagedMemberIsDeletedAndReported) {
  ASSERT_EQ(Sh("zip -q -0 x.zip src/sub/c.txt src/a.txt"), 0);
  // Flip one byte in the middle of c.txt's stored data.
  ASSERT_EQ(Sh("printf 'X' | dd of=x.zip bs=1 seek=5000 conv=notrunc status=none"), 0);
  EXPECT_EQ(Zipx("extract -d out x.zip"), 1);
  EXPECT_NE(err.find("failed src\\sub\\c.txt: CRC error"), std::string::npos) << err;
  EXPECT_FALSE(Exists("out/src/sub/c.txt"));
  EXPECT_TRUE(Same("out/src/a.txt", "src/a.txt"));
}

TEST_F(ZipxTest, SplitSetIsReadAcrossVolumes) {
  // Info-ZIP names the segments s.z01, s.z02, ... and the last volume s.zip.
  ASSERT_EQ(Sh("head -c 150000 /dev/urandom > src/r.bin && zip -q -r -s 64k s.zip src && "
               "zip -q -0 -s 64k s0.zip src/r.bin && test -f s.z02"),
            0);
  for (const char* stem : {"s", "s0"}) {
    std::string s = stem;
    ASSERT_EQ(Zipx("extract -d out" + s + " " + s + ".zip"), 0) << err;
    EXPECT_TRUE(Same("out" + s + "/src/r.bin", "src/r.bin"));
  }
  EXPECT_TRUE(Same("outs/src/sub/b.bin", "src/sub/b.bin"));
  // A central directory that itself spreads over several volumes.
  ASSERT_EQ(Sh("mkdir many && for i in $(seq 1 1500); do echo $i > "
               "many/a_rather_long_file_name_to_fill_the_directory_$i.txt; done && "
               "zip -q -r -s 64k m.zip many && test -f m.z03"),
            0);
  ASSERT_EQ(Zipx("extract -d outm m.zip"), 0) << err;
  EXPECT_EQ(Sh("diff -r many outm/many"), 0) << out;

  // A segment missing under every name ends the volume request with an error.
  EXPECT_EQ(Sh("rm s.z01"), 0);
  EXPECT_EQ(Zipx("extract -d again s.zip"), 2);
  EXPECT_NE(err.find("User canceled loading new disk."), std::string::npos) << err;
}

TEST_F(ZipxTest, CommentsOfInfoZipArchives) {
  ASSERT_EQ(Sh("printf 'archive note\\n.\\n' | zip -q -z x.zip src/a.txt && "
               "printf 'member note\\n' | zip -q -c x.zip src/a.txt"),
            0);
  archive::TUnZipper zipper;
  zipper.SetZipName(dir + "/x.zip");
  EXPECT_EQ(zipper.ArchiveComment(), "archive note");
  EXPECT_EQ(zipper.MemberComment(0), "member note");
}

TEST_F(ZipxTest, RawArchivesFromPython) {
  ASSERT_EQ(Python(R"(
def raw(name, data=b'x', date=(2001, 2, 3, 4, 5, 6)):
    return zipfile.ZipInfo(name.decode('ascii'), date), data
# zipfile writes non-ASCII names as UTF-8: write a placeholder, then put the
# CP866 bytes in its place.
oem = b'\x8f\xe0\xa8\xa2\xa5\xe2/\xe4\xa0\xa9\xab.txt'
with zipfile.ZipFile('names.zip', 'w') as z:
    z.writestr(*raw(b'Q' * len(oem), b'cyrillic'))
    z.writestr(*raw(b'../../x1'))
    z.writestr(*raw(b'..\\..\\x2'))
    z.writestr(*raw(b'\\x3'))
    z.writestr(*raw(b'C:x4'))
    z.writestr(*raw(b'odd', b'd', (2001, 13, 31, 25, 61, 62)))
for n in (65506, 65507):
    with zipfile.ZipFile('c%d.zip' % n, 'w') as z:
        z.writestr('a', 'A')
        z.comment = b'c' * n
fake = b'PK\x05\x06' + struct.pack('<HHHHIIH', 0, 0, 0, 0, 0, 0, 0)
with zipfile.ZipFile('sig.zip', 'w') as z:
    z.writestr('a', 'A')
    z.comment = b'xx' + fake
data = open('names.zip', 'rb').read()
open('names.zip', 'wb').write(data.replace(b'Q' * len(oem), oem))
data = open('c65506.zip', 'rb').read()
end = data.rfind(b'PK\x05\x06')
open('noend.zip', 'wb').write(data[:data.find(b'PK\x01\x02')])
open('moved.zip', 'wb').write(data[:end + 16] + struct.pack('<I', 1) + data[end + 20:])
)"),
            0)
      << err;
  ASSERT_EQ(Zipx("list names.zip"), 0) << err;
  EXPECT_NE(out.find("\tПривет\\файл.txt\n"), std::string::npos) << out;
  EXPECT_NE(out.find("2001-12-31 24:59:58\todd\n"), std::string::npos) << out;
  ASSERT_EQ(Sh("mkdir deep && cd deep && '" + kZipx + "' extract -d out ../names.zip"), 0) << err;
  EXPECT_EQ(Read(dir + "/deep/out/Привет/файл.txt"), "cyrillic");
  for (const char* name : {"x1", "x2", "x3", "x4"}) {
    EXPECT_TRUE(Exists(std::string("deep/out/") + name)) << name;
  }
  EXPECT_EQ(Sh("find . -name 'x?' -not -path './deep/out/*' | wc -l"), 0);
  EXPECT_EQ(out, "0\n") << "a file escaped the destination";

  EXPECT_EQ(Zipx("list c65506.zip"), 0);
  EXPECT_EQ(Zipx("list c65507.zip"), 2);
  EXPECT_NE(err.find("Incomplete Zip File"), std::string::npos) << err;
  EXPECT_EQ(Zipx("list noend.zip"), 2);
  EXPECT_NE(err.find("Incomplete Zip File"), std::string::npos) << err;
  // The signature inside the comment wins: it promises no members.
  EXPECT_EQ(Zipx("list sig.zip"), 0);
  EXPECT_EQ(out, "");
  // A wrong central directory offset: the local headers are scanned.
  ASSERT_EQ(Zipx("extract -d moved moved.zip"), 0) << err;
  EXPECT_EQ(Read(dir + "/moved/a"), "A");
  EXPECT_EQ(Zipx("list missing.zip"), 2);
}

// Every compression method of the archives made by other tools, through all
// decoders: the project's own copies, and the shared set where it exists.
class ZipxDataSetTest : public ZipxTest,
                        public ::testing::WithParamInterface<testing_support::TestData> {};

TEST_P(ZipxDataSetTest, ArchivesOfOtherToolsMatchTheirManifest) {
  SKIP_WITHOUT_TEST_DATA(GetParam());
  std::string methods =
      "stored;deflate;shrink;reduce1;reduce2;reduce3;reduce4;"
      "implode(4K,2trees);implode(8K,3trees)";
  EXPECT_EQ(
      Sh("python3 '" + std::string(SETUP_SOURCE_DIR) + "/tests/tools/zipx_manifest_check.py' '" +
         kZipx + "' '" + testing_support::TestDataFolder(GetParam()) + "' . '" + methods + "'"),
      0)
      << out;
}

INSTANTIATE_TEST_SUITE_P(Sets, ZipxDataSetTest,
                         ::testing::Values(testing_support::TestData::Project,
                                           testing_support::TestData::Shared),
                         [](const auto& info) { return testing_support::Name(info.param); });

}  // namespace

#endif  // _WIN32
