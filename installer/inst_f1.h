// TInstF1, the main window: product title, version line, the install folder
// field and the buttons for browsing, reading the texts, installing and
// leaving. Creating it runs the start-up sequence that fills the profile.
#pragma once

#include <cstdint>
#include <memory>

#include "installer/inst_f2.h"
#include "installer/inst_f3.h"
#include "installer/inst_f4.h"
#include "installer/profile.h"
#include "platform/form.h"
#include "platform/platform.h"

namespace installer {

// Title colour of the main window's labels: dark blue.
constexpr uint32_t kTitleColor = platform::Rgb(0, 0, 192);

class TInstF1 {
 public:
  // The product whose texts and tables the start-up sequence uses; it must
  // outlive the window.
  explicit TInstF1(const ProductDefinition& product = ShippedProduct());
  TInstF1(const TInstF1&) = delete;
  TInstF1& operator=(const TInstF1&) = delete;

  platform::Form form;
  // The controls, captured as the window is built, in the order it draws them.
  platform::Control& Label2;  // the title's grey shadow, behind Label1
  platform::Control& Label1;  // product title
  platform::Control& Label3;  // subtitle
  platform::Control& Label4;  // author line, right-aligned
  platform::Control& Label6;  // version line
  platform::Control& Bevel1;
  platform::Control& Label5;   // prompt before the folder field
  platform::Control& Edit1;    // the install folder
  platform::Control& Button1;  // browse
  platform::Control& Bevel2;
  platform::Control& Button2;  // description (readme.txt)
  platform::Control& Button3;  // licence (license.txt)
  platform::Control& Button4;  // install
  platform::Control& Button5;  // leave
  platform::Control& Timer1;   // starts the Install command of an automatic run

  // The other windows, created by the start-up sequence (null before that
  // and after a failed archive check).
  std::unique_ptr<TInstF2> viewer;
  std::unique_ptr<TInstF3> copier;
  std::unique_ptr<TInstF4> chooser;

  // Set for a silent run, which starts the Install command without showing
  // this window: the copy window then comes up on its own, centred on the
  // screen and titled with the application title.
  bool Unattended = false;
  // Set before FormCreate: the program group and the desktop links go to the
  // folders every user of the machine sees, not to the running user's.
  bool AllUsersLinks = false;

  void FormCreate();
  void FormShow();
  void Timer1Timer();
  void Button1Click();
  void Button2Click(int tag);
  void Button4Click();  // the Install command
  void Button5Click();
  void FormKeyPress(char& key);
  void FormKeyDown(uint16_t& key, unsigned shift);
  void FormCloseQuery(bool& canClose);
  void FormClose();

 private:
  void FindProgramFilesDir();
  void ShowVersionLine();
  bool CheckVolumes();
  bool WriteTest(const std::string& folder);
  // Steps of the Install command; each false is a refusal, reported and
  // recorded as the outcome.
  bool CheckHostFiles();
  bool CheckInstallFolder();
  bool ChooseComponents();
  void BuildExcludedComponents();
  void RunCopyWindow();
  const ProductDefinition& product_;
};

// Shows a message box of one of the four kinds with the given buttons.
platform::Button ShowMessage(platform::MessageKind kind, const std::string& text,
                             unsigned buttons = platform::kButtonOk);

}  // namespace installer
