// TInstF2, the text viewer: shows readme.txt or license.txt from beside the
// installer, re-flowing hard-wrapped lines into paragraphs that the memo wraps
// at its own width.
#pragma once

#include <string>
#include <vector>

#include "platform/form.h"

namespace installer {

// Joins hard-wrapped lines into paragraphs. A break line (empty, or whose
// trimmed text starts with "-", "*" or the word COPYRIGHT in any case) starts
// a new paragraph; an empty input line also gives an empty output line.
std::vector<std::string> ReflowParagraphs(const std::vector<std::string>& lines);

// Splits text into lines at CR LF, CR or LF, as a text file is read line by line.
std::vector<std::string> SplitTextLines(const std::string& text);

class TInstF2 {
 public:
  TInstF2();
  TInstF2(const TInstF2&) = delete;
  TInstF2& operator=(const TInstF2&) = delete;

  platform::Form form;
  // The controls, captured as the window is built.
  platform::Control& Panel1;   // the button strip along the bottom
  platform::Control& Memo1;    // the text
  platform::Control& Button1;  // OK, on Panel1

  // Shows the text selected by tag (1: description, 2: licence) modally;
  // nothing happens for another tag or when the file does not exist.
  void ShowText(int tag);

  void FormShow();
  void FormKeyPress(char& key);

 private:
  // Loads the file into the memo with the paragraph re-flow; false (and a
  // message box with the error text) when it cannot be read.
  bool LoadReflowed(const std::string& path);
};

}  // namespace installer
