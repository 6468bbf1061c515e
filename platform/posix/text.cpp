// The posix platform's code-page text services, from the built tables.
#include "platform/codepage.h"
#include "platform/posix/files_internal.h"
#include "support/cp1251.h"

namespace platform::posix {

namespace {

class PosixText : public Text {
 public:
  std::string OemToAnsi(const std::string& oem) override { return codepage::OemToAnsi(oem); }
  std::string Utf8ToAnsi(const std::string& utf8) override { return support::Cp1251(utf8, '_'); }
  std::string UpperCase(const std::string& s) override { return codepage::UpperCase(s); }
  std::string LowerCase(const std::string& s) override { return codepage::LowerCase(s); }
  int Compare(const std::string& a, const std::string& b, bool ignoreCase) override {
    return codepage::Compare(a, b, ignoreCase);
  }
};

}  // namespace

std::unique_ptr<Text> MakeText() { return std::make_unique<PosixText>(); }

}  // namespace platform::posix
