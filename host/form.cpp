#include "host/form.h"

#include <algorithm>
#include <utility>

#include "host/error.h"

namespace host {

Control Designed(std::string name, ControlKind kind, std::string caption, int left, int top, int width, int height,
                 std::string container) {
  Control control;
  control.name = std::move(name);
  control.kind = kind;
  control.caption = std::move(caption);
  control.left = left;
  control.top = top;
  control.width = width;
  control.height = height;
  control.container = std::move(container);
  return control;
}

Form::Form(std::string name, std::string caption, int width, int height, std::vector<Control> designed)
    : name_(std::move(name)),
      caption_(caption),
      designedCaption_(std::move(caption)),
      width_(width),
      height_(height),
      designed_(std::move(designed)),
      controls_(designed_) {}

Form::~Form() {
  // A form destroyed while shown takes its window with it; the view must not
  // keep pointing at it.
  if (auto* view = std::exchange(view_, nullptr)) {
    try {
      view->Closed();
    } catch (...) {
      // Nothing can be reported from a destructor.
    }
  }
}

void Form::Load() {
  if (loaded_) return;
  controls_ = designed_;
  caption_ = designedCaption_;
  loaded_ = true;
  visible_ = false;
}

void Form::SetCaption(const std::string& caption) {
  Load();
  caption_ = caption;
  if (view_) view_->CaptionChanged();
}

Control& Form::operator[](const std::string& control) {
  Load();
  auto found = std::find_if(controls_.begin(), controls_.end(), [&](const Control& c) { return c.name == control; });
  if (found == controls_.end()) throw Error("Form " + name_ + " has no control " + control);
  return *found;
}

void Form::Update(const std::string& control) {
  Control& changed = (*this)[control];
  if (view_) view_->Changed(changed);
}

void Form::Shown(FormView* view) {
  Load();
  view_ = view;
  visible_ = true;
}

void Form::Hide() {
  if (!visible_) return;
  visible_ = false;
  if (auto* view = std::exchange(view_, nullptr)) view->Closed();
}

void Form::Unload() {
  Hide();
  loaded_ = false;
}

void Form::Click(const std::string&) {}

void Form::SelectionChanged(const std::string& control, int listIndex) {
  (*this)[control].listIndex = listIndex;
}

void Form::CloseByFrame() {
  Unload();
}

}  // namespace host
