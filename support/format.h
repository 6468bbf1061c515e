// Message formatting in the manner of the messages' own templates: "%s" takes a
// text, "%d" a signed and "%u" an unsigned decimal number, "%x" a hexadecimal
// one, "%%" is a percent sign. Arguments are used from left to right.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

namespace support {

class FormatArg {
 public:
  FormatArg(std::string_view text) : text_(text), isText_(true) {}
  FormatArg(const std::string& text) : text_(text), isText_(true) {}
  FormatArg(const char* text) : text_(text ? text : ""), isText_(true) {}
  FormatArg(int value) : number_(value) {}
  FormatArg(long value) : number_(value) {}
  FormatArg(long long value) : number_(value) {}
  FormatArg(unsigned value) : number_(static_cast<int64_t>(value)) {}
  FormatArg(unsigned long value) : number_(static_cast<int64_t>(value)) {}
  FormatArg(unsigned long long value) : number_(static_cast<int64_t>(value)) {}

  bool IsText() const { return isText_; }
  std::string_view Text() const { return text_; }
  int64_t Number() const { return number_; }

 private:
  std::string_view text_;
  int64_t number_ = 0;
  bool isText_ = false;
};

// Formats a template. A directive without a matching argument, or one that
// does not fit its argument's kind, is copied as it stands, so a broken
// template never loses the rest of the message.
std::string Format(std::string_view pattern, std::initializer_list<FormatArg> args);

}  // namespace support
