// Entry point of every unit-test executable: installs the platform of this
// build (posix natively, win32 under Wine), then runs the tests.
#include <gtest/gtest.h>

#include "platform/platform.h"

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  platform::InstallDefault();
  return RUN_ALL_TESTS();
}
