#include "tests/common/ui_script.h"

#include <gtest/gtest.h>

#include "support/cp1251.h"

namespace testing_support {

UiScript::UiScript() : previous_(platform::Current().ui) {
  platform::Current().ui = &ui_;
  // Unexpected boxes fail the test where they appear.
  ui_.SetUnexpectedHook(
      [](const std::string& what) { ADD_FAILURE() << support::Utf8FromCp1251(what); });
}

UiScript::~UiScript() {
  platform::Current().ui = previous_;
  for (const auto& what : ui_.Unused()) ADD_FAILURE() << support::Utf8FromCp1251(what);
}

void ExpectNoUnexpectedBoxes(const platform::ScriptedUi& ui) {
  for (const auto& what : ui.Unexpected()) ADD_FAILURE() << support::Utf8FromCp1251(what);
  for (const auto& what : ui.Unused()) ADD_FAILURE() << support::Utf8FromCp1251(what);
}

}  // namespace testing_support
