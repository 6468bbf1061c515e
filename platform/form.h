// A window described as data: named controls with their kind, layout, font,
// caption, colour, visibility, enabled state, tab order and default/cancel
// role, plus the event handlers of the window. The installer builds its four
// windows from this model; the win32 view (platform/win32/form_view.h) turns a
// form into real windows and routes their messages back here, and tests drive
// the same handlers headless through Click, KeyPress, KeyDown, Close and Tick.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace platform {

enum class ControlKind {
  Label,
  Edit,
  Button,
  Bevel,
  Panel,
  Memo,
  CheckListBox,
  ListBox,
  ComboBox,  // a drop-down list to pick one item from
  ProgressBar,
  Timer
};

// How a control fills its parent (panel or client area), in the order added.
enum class Align { None, Top, Bottom, Client };
enum class TextAlign { Left, Right };
enum class BorderStyle { Dialog, Sizeable, None };
enum class FormPosition { Designed, ScreenCenter };
enum class WindowState { Normal, Minimized };

// Modal results, as returned by Ui::ShowModal.
constexpr int kMrNone = 0;
constexpr int kMrOk = 1;
constexpr int kMrCancel = 2;

// Keys and characters the handlers look at.
constexpr char kCharEscape = 27;
constexpr uint16_t kVkReturn = 0x0D;
constexpr uint16_t kVkEscape = 0x1B;
constexpr uint16_t kVkF1 = 0x70;
constexpr unsigned kShiftShift = 1, kShiftAlt = 2, kShiftCtrl = 4;

// A colour as the Windows COLORREF 0x00BBGGRR.
constexpr uint32_t Rgb(uint8_t r, uint8_t g, uint8_t b) {
  return uint32_t(r) | (uint32_t(g) << 8) | (uint32_t(b) << 16);
}
constexpr uint32_t kColorBlack = 0;
constexpr uint32_t kColorGray = Rgb(128, 128, 128);

// A font by face name and character height in pixels at 96 DPI.
struct Font {
  std::string name = "MS Sans Serif";
  int height = 11;
  bool bold = false;
  bool italic = false;
  uint32_t color = kColorBlack;
};

struct CheckItem {
  std::string caption;
  bool checked = false;
};

struct Control {
  std::string name;
  ControlKind kind = ControlKind::Label;
  std::string parent;  // name of the panel that holds it; empty: the client area
  int left = 0, top = 0, width = 0, height = 0;
  Align align = Align::None;
  bool anchorRight = false;  // keeps its distance to the parent's right edge
  int rightGap = 0;          // that distance, set by the window's builder
  Font font;
  std::string caption;  // label, button, edit text, form-wide single text
  TextAlign alignment = TextAlign::Left;
  bool transparent = false;
  bool autoSize = false;  // labels: size follows the text
  bool wordWrap = false;  // labels: wrap at the width; with autoSize the height follows
  bool visible = true;
  bool enabled = true;
  int tabOrder = -1;  // -1: not a tab stop
  int tag = 0;
  bool isDefault = false;  // pressed by Enter
  bool isCancel = false;   // pressed by Esc
  int modalResult = kMrNone;
  bool bevelBottomLine = false;
  int bevelWidth = 0;              // panels: width of the raised frame (0: none)
  std::vector<std::string> lines;  // memo: one line (paragraph) each
  bool readOnly = false;
  std::vector<CheckItem> items;  // check list box, list box, combo box
  int itemIndex = -1;            // list and combo box: the selected item
  int itemHeight = 13;
  int interval = 0;                              // timer, milliseconds
  int position = 0, minimum = 0, maximum = 100;  // progress bar
  // Button press, timer tick, a toggle of a check list item's box, or a new
  // selection in a list or combo box.
  std::function<void()> onClick;
  std::function<void()> onDblClick;  // list box

  // Sets the caption; an auto-sized label takes the size of its text.
  void SetCaption(const std::string& text);
};

// Measures texts for auto-sized labels. The win32 view installs one that asks
// the system's fonts; without it a fixed estimate of MS Sans Serif is used.
class TextMetrics {
 public:
  virtual ~TextMetrics() = default;
  virtual int Width(const Font& font, const std::string& text) = 0;
  virtual int LineHeight(const Font& font) = 0;
  // Height of the text wrapped at word boundaries into lines of at most width.
  virtual int WrappedHeight(const Font& font, const std::string& text, int width);
};
TextMetrics& textMetrics();
void SetTextMetrics(TextMetrics* metrics);  // null: the built-in estimate

class Form {
 public:
  explicit Form(std::string name);
  Form(const Form&) = delete;
  Form& operator=(const Form&) = delete;

  std::string name;
  std::string caption;
  // Outer bounds; the view keeps them in step with the real window.
  int left = 0, top = 0, width = 0, height = 0;
  int clientWidth = 0, clientHeight = 0;
  bool outerSizeDesigned = false;  // width/height rather than the client size are designed
  int minWidth = 0, minHeight = 0;
  BorderStyle borderStyle = BorderStyle::Dialog;
  bool systemMenu = true, minimizeBox = false, maximizeBox = false;
  FormPosition position = FormPosition::Designed;
  WindowState windowState = WindowState::Normal;
  // False hides the window while it stays open (a modal form keeps its modal
  // loop); showing a form sets it again.
  bool visible = true;
  Font font;  // default font of new controls
  bool keyPreview = false;
  std::string activeControl;  // control that has the focus when shown
  int modalResult = kMrNone;
  bool closeRequested = false;  // set once a Close was allowed

  std::function<void()> onShow;
  std::function<void()> onActivate;
  std::function<void(bool& canClose)> onCloseQuery;
  std::function<void()> onClose;
  std::function<void(char& key)> onKeyPress;
  std::function<void(uint16_t& key, unsigned shift)> onKeyDown;

  // Adds a control that takes the form's font; returns it for further settings.
  Control& Add(const std::string& name, ControlKind kind, int left, int top, int width, int height);
  Control* Find(const std::string& name);
  Control& operator[](const std::string& name);  // throws std::out_of_range when absent
  const std::vector<std::unique_ptr<Control>>& Controls() const { return controls_; }

  // Sets the client size and, from an estimated frame, the outer size.
  void SetClientSize(int w, int h);
  // Positions of aligned controls for the current client size (top, bottom,
  // client; anchors), relative to their parent.
  void Realign();
  // Bounds of a control in client coordinates (panels resolved).
  void ClientBounds(const Control& c, int& x, int& y) const;

  // Events, as the view or a test delivers them.
  // A visible, enabled button: sets the form's modal result, then runs onClick.
  void Click(const std::string& control);
  // Toggles item index of a check list box and runs its onClick.
  void ToggleItem(const std::string& control, int index);
  // Selects item index of a list or combo box and runs its onClick.
  void Select(const std::string& control, int index);
  // A double click on a list box's selected item.
  void DoubleClick(const std::string& control);
  // An enabled timer's tick.
  void Tick(const std::string& control);
  // Key preview: the form's handlers see keys first. Returns the key left over.
  uint16_t KeyDown(uint16_t key, unsigned shift);
  char KeyPress(char key);
  // A request to close: asks onCloseQuery; when allowed runs onClose, sets
  // closeRequested and, for a modal form, the modal result cancel.
  bool Close();
  // Runs onShow (and onActivate) as the view does when the window appears.
  void Shown();

 private:
  std::vector<std::unique_ptr<Control>> controls_;
};

// Application-wide state the view reads: the task bar title and the request
// to end the program (which skips every close confirmation).
struct Application {
  std::string title;
  bool terminated = false;
  void Terminate() { terminated = true; }
};
Application& App();

}  // namespace platform
