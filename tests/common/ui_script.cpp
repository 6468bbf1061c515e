#include "tests/common/ui_script.h"

#include <gtest/gtest.h>

#include "support/cp1251.h"

namespace testing_support {

UiScript::UiScript() : previous_(platform::Current().ui) { platform::Current().ui = &ui_; }

UiScript::~UiScript() {
  platform::Current().ui = previous_;
  ExpectNoUnexpectedBoxes(ui_);
}

void ExpectNoUnexpectedBoxes(const platform::ScriptedUi& ui) {
  for (const auto& what : ui.Unexpected()) ADD_FAILURE() << support::Utf8FromCp1251(what);
  for (const auto& what : ui.Unused()) ADD_FAILURE() << support::Utf8FromCp1251(what);
}

}  // namespace testing_support
