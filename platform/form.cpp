#include "platform/form.h"

#include <stdexcept>

namespace platform {

namespace {

// MS Sans Serif at 11 px averages about 5 px per character plus spacing; the
// estimate scales with the height. Used only where no real fonts exist.
class EstimatedMetrics : public TextMetrics {
 public:
  int Width(const Font& font, const std::string& text) override {
    const int perChar = font.height * 5 / 11 + (font.bold ? 1 : 0);
    return static_cast<int>(text.size()) * (perChar > 0 ? perChar : 1);
  }
  int LineHeight(const Font& font) override { return font.height + 2; }
};

EstimatedMetrics estimated;
TextMetrics* current = &estimated;

// Outer frame of a window around its client area (caption and borders at 96 DPI).
void FrameSize(BorderStyle style, int& dx, int& dy) {
  switch (style) {
    case BorderStyle::Dialog:
      dx = 6;
      dy = 25;
      return;
    case BorderStyle::Sizeable:
      dx = 8;
      dy = 27;
      return;
    case BorderStyle::None:
      dx = 0;
      dy = 0;
      return;
  }
}

}  // namespace

TextMetrics& textMetrics() { return *current; }
void SetTextMetrics(TextMetrics* metrics) { current = metrics ? metrics : &estimated; }

int TextMetrics::WrappedHeight(const Font& font, const std::string& text, int width) {
  int lines = 0;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string para = text.substr(start, end - start);
    if (!para.empty() && para.back() == '\r') para.pop_back();
    // Greedy word wrap of one paragraph.
    std::string line;
    int paraLines = 1;
    size_t pos = 0;
    while (pos < para.size()) {
      size_t next = para.find(' ', pos);
      if (next == std::string::npos) next = para.size();
      const std::string word = para.substr(pos, next - pos);
      const std::string candidate = line.empty() ? word : line + " " + word;
      if (!line.empty() && Width(font, candidate) > width) {
        ++paraLines;
        line = word;
      } else {
        line = candidate;
      }
      pos = next + 1;
    }
    lines += paraLines;
    if (end == text.size()) break;
    start = end + 1;
  }
  return lines * LineHeight(font);
}

void Control::SetCaption(const std::string& text) {
  caption = text;
  if (kind != ControlKind::Label || !autoSize) return;
  if (wordWrap) {
    height = textMetrics().WrappedHeight(font, text, width);
  } else {
    width = textMetrics().Width(font, text);
    height = textMetrics().LineHeight(font);
  }
}

Form::Form(std::string formName) : name(std::move(formName)) {}

Control& Form::Add(const std::string& controlName, ControlKind kind, int l, int t, int w, int h) {
  auto c = std::make_unique<Control>();
  c->name = controlName;
  c->kind = kind;
  c->left = l;
  c->top = t;
  c->width = w;
  c->height = h;
  c->font = font;
  if (kind == ControlKind::Timer) c->visible = false;
  controls_.push_back(std::move(c));
  return *controls_.back();
}

Control* Form::Find(const std::string& controlName) {
  for (auto& c : controls_) {
    if (c->name == controlName) return c.get();
  }
  return nullptr;
}

Control& Form::operator[](const std::string& controlName) {
  Control* c = Find(controlName);
  if (!c) throw std::out_of_range("no control " + controlName + " on " + name);
  return *c;
}

void Form::SetClientSize(int w, int h) {
  int dx = 0, dy = 0;
  FrameSize(borderStyle, dx, dy);
  clientWidth = w;
  clientHeight = h;
  width = w + dx;
  height = h + dy;
}

void Form::Realign() {
  // Containers: the client area ("") and every panel, outermost first.
  std::vector<std::string> parents{""};
  for (auto& c : controls_) {
    if (c->kind == ControlKind::Panel) parents.push_back(c->name);
  }
  for (const std::string& parent : parents) {
    int pw = clientWidth, ph = clientHeight;
    if (!parent.empty()) {
      const Control& p = (*this)[parent];
      pw = p.width;
      ph = p.height;
    }
    int top = 0, bottom = ph;
    for (auto& c : controls_) {
      if (c->parent != parent || !c->visible) continue;
      if (c->align == Align::Top) {
        c->left = 0;
        c->top = top;
        c->width = pw;
        top += c->height;
      } else if (c->align == Align::Bottom) {
        c->left = 0;
        c->width = pw;
        bottom -= c->height;
        c->top = bottom;
      }
    }
    for (auto& c : controls_) {
      if (c->parent != parent || !c->visible) continue;
      if (c->align == Align::Client) {
        c->left = 0;
        c->top = top;
        c->width = pw;
        c->height = bottom > top ? bottom - top : 0;
      }
      if (c->anchorRight && c->align == Align::None) c->left = pw - c->width - c->rightGap;
    }
  }
}

void Form::ClientBounds(const Control& c, int& x, int& y) const {
  x = c.left;
  y = c.top;
  if (c.parent.empty()) return;
  for (const auto& p : controls_) {
    if (p->name == c.parent) {
      int px = 0, py = 0;
      ClientBounds(*p, px, py);
      x += px;
      y += py;
      return;
    }
  }
}

void Form::Click(const std::string& controlName) {
  Control& c = (*this)[controlName];
  if (!c.visible || !c.enabled) return;
  if (c.modalResult != kMrNone) modalResult = c.modalResult;
  if (c.onClick) c.onClick();
}

void Form::ToggleItem(const std::string& controlName, int index) {
  Control& c = (*this)[controlName];
  if (!c.enabled || index < 0 || index >= static_cast<int>(c.items.size())) return;
  c.items[static_cast<size_t>(index)].checked = !c.items[static_cast<size_t>(index)].checked;
  if (c.onClick) c.onClick();
}

void Form::Select(const std::string& controlName, int index) {
  Control& c = (*this)[controlName];
  if (!c.enabled || index < -1 || index >= static_cast<int>(c.items.size())) return;
  c.itemIndex = index;
  if (c.onClick) c.onClick();
}

void Form::DoubleClick(const std::string& controlName) {
  Control& c = (*this)[controlName];
  if (c.enabled && c.onDblClick) c.onDblClick();
}

void Form::Tick(const std::string& controlName) {
  Control& c = (*this)[controlName];
  if (c.enabled && c.onClick) c.onClick();
}

uint16_t Form::KeyDown(uint16_t key, unsigned shift) {
  if (keyPreview && onKeyDown) onKeyDown(key, shift);
  return key;
}

char Form::KeyPress(char key) {
  if (keyPreview && onKeyPress) onKeyPress(key);
  return key;
}

bool Form::Close() {
  bool canClose = true;
  if (onCloseQuery) onCloseQuery(canClose);
  if (!canClose) return false;
  if (onClose) onClose();
  closeRequested = true;
  if (modalResult == kMrNone) modalResult = kMrCancel;
  return true;
}

void Form::Shown() {
  if (onShow) onShow();
  if (onActivate) onActivate();
}

Application& App() {
  static Application app;
  return app;
}

}  // namespace platform
