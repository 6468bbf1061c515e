// The final report of an installation run and the start of the optional
// post-install program.
#pragma once

#include <string>

namespace installer {

struct ProductProfile;

// The report texts of a run once completed: each list text with its heading
// and a final ".\r\n"; GroupError as it is.
struct ReportTexts {
  std::string NotUpdatedFiles, NotCreatedFiles, FailedShortcuts, GroupError;
  bool HasProblems() const {
    return !NotUpdatedFiles.empty() || !NotCreatedFiles.empty() || !FailedShortcuts.empty() ||
           !GroupError.empty();
  }
};

// Turns a run of entries "\"path\", " into heading + entries without the
// final comma and blank + ".\r\n"; an empty list stays empty.
std::string CompleteListText(const std::string& heading, const std::string& entries);

// Completes the three list texts of a run with their headings.
ReportTexts CompleteReportTexts(const std::string& notUpdated, const std::string& notCreated,
                                const std::string& failedShortcuts, const std::string& groupError);

// True when the post-install program is set, present and allowed to run.
// The finishing pass asks once, so that the report's notice and the start
// of the program cannot disagree.
bool PostInstallWillRun(const ProductProfile& profile);

// The final report: the success sentence (with the shortcut line, and the
// post-install notice when postInstallStarts) or, when there are problems,
// the completion sentence, the problem lists and the two recommendations.
std::string ComposeFinalReport(const ProductProfile& profile, const ReportTexts& texts,
                               bool postInstallStarts);

// Starts a program through the shell (default verb) without waiting for it.
// showMode 0: shown, 1: maximized, 2: minimized, 3: minimized without
// activation, anything else: hidden.
bool StartProgram(const std::string& file, const std::string& parameters, const std::string& folder,
                  int showMode);

}  // namespace installer
