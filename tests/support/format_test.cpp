// Message formatting: directives, their arguments, and templates that do not
// fit their arguments.
#include "support/format.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using support::Format;

TEST(Format, DirectivesAndMismatches) {
  EXPECT_EQ(Format("Cannot open file \"%s\". %s", {"C:\\a b.dat", "Access is denied."}),
            "Cannot open file \"C:\\a b.dat\". Access is denied.");
  EXPECT_EQ(Format("Invalid seek origin (%d)", {-3}), "Invalid seek origin (-3)");
  EXPECT_EQ(Format("%u of %x", {4294967295u, 255}), "4294967295 of FF");
  EXPECT_EQ(Format("100%% done", {}), "100% done");
  // Missing or mismatched arguments leave the directive visible instead of
  // losing the rest of the message.
  EXPECT_EQ(Format("%s and %s", {"one"}), "one and %s");
  EXPECT_EQ(Format("(%d)", {"text"}), "(%d)");
  EXPECT_EQ(Format("trailing %", {1}), "trailing %");
  EXPECT_EQ(Format("%q%s", {"x"}), "%qx");
}

}  // namespace
