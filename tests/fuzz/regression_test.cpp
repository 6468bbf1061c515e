// The fuzz targets' findings, kept: every reproducer stored under
// tests/fuzz/regressions/TARGET/, and every seed under tests/fuzz/seeds/TARGET/,
// goes through the code of its target, with the target's own checks, as the
// fuzzer ran it. A check that fails ends the process, and with it the test.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>

#include "platform/platform.h"

// Each target's entry point, renamed by the build (tests/fuzz/regressions.cmake).
// Left as written: clang-format lays this list out anew on every run.
// clang-format off
#define SETUP_FUZZ_TARGETS(X)                                                     \
  X(fuzz_inflate) X(fuzz_explode) X(fuzz_unreduce) X(fuzz_unshrink)              \
  X(fuzz_directory) X(fuzz_extract) X(fuzz_settings) X(fuzz_wildcard)            \
  X(fuzz_command_line) X(fuzz_install_log) X(fuzz_recovery) X(fuzz_install)
// clang-format on
#define DECLARE_TARGET(name) extern "C" int Fuzz_##name(const uint8_t* bytes, size_t size);
SETUP_FUZZ_TARGETS(DECLARE_TARGET)

namespace {

using Entry = int (*)(const uint8_t*, size_t);
#define LIST_TARGET(name) {#name, &Fuzz_##name},
const std::map<std::string, Entry> kTargets = {SETUP_FUZZ_TARGETS(LIST_TARGET)};

TEST(FuzzRegressions, StoredReproducersAndSeedsRunClean) {
  int runs = 0;
  for (const char* kept : {"regressions", "seeds"}) {
    const std::filesystem::path root = std::string(SETUP_SOURCE_DIR "/tests/fuzz/") + kept;
    for (const auto& folder : std::filesystem::directory_iterator(root)) {
      if (!folder.is_directory()) continue;
      const std::string target = folder.path().filename().string();
      auto entry = kTargets.find(target);
      ASSERT_NE(entry, kTargets.end()) << "no fuzz target " << target;
      for (const auto& file : std::filesystem::directory_iterator(folder.path())) {
        std::ifstream in(file.path(), std::ios::binary);
        const std::string bytes((std::istreambuf_iterator<char>(in)),
                                std::istreambuf_iterator<char>());
        SCOPED_TRACE(file.path().string());
        platform::InstallDefault();  // each target sets up the platform it needs
        entry->second(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
        ++runs;
      }
    }
  }
  platform::InstallDefault();
  EXPECT_GT(runs, 0);
}

}  // namespace
