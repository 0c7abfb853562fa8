#pragma once
// A dialog as a model: its controls with their designed texts, positions
// (twips) and state, and the handlers of its buttons. The core derives its
// dialogs from Form; the host shows a Form (a Win32 dialog, or the scripted
// user of the stand-in platform) and forwards the user's presses.
#include <string>
#include <vector>

namespace host {

enum class ControlKind { Label, CommandButton, Frame, ComboBox, TextBox, ProgressBar };

struct Control {
  std::string name;
  ControlKind kind = ControlKind::Label;
  std::string caption;                           // caption of labels, buttons and frames; the text of a text box
  int left = 0, top = 0, width = 0, height = 0;  // twips, relative to the container
  std::string container;                         // the frame holding it, or empty
  bool visible = true;
  std::vector<std::string> items;  // combo box entries
  int listIndex = -1;              // combo box selection
  float max = 100, value = 0;      // progress bar (minimum 0)
};

// A control as the form designer placed it (twips; container names its frame).
Control Designed(std::string name, ControlKind kind, std::string caption, int left, int top, int width, int height,
                 std::string container = {});

// What a host keeps to show a form; told when the model changes.
class FormView {
 public:
  virtual ~FormView() = default;
  virtual void Changed(const Control& control) = 0;
  virtual void CaptionChanged() = 0;
  // The model hid or unloaded itself: the window goes, a modal display ends.
  virtual void Closed() = 0;
};

class Form {
 public:
  Form(std::string name, std::string caption, int width, int height, std::vector<Control> designed);
  virtual ~Form();
  Form(const Form&) = delete;
  Form& operator=(const Form&) = delete;

  const std::string& Name() const { return name_; }
  const std::string& Caption() const { return caption_; }
  void SetCaption(const std::string& caption);
  int Width() const { return width_; }
  int Height() const { return height_; }

  // The control by name. Touching an unloaded form loads it again, invisible,
  // with its controls as designed.
  Control& operator[](const std::string& control);
  const std::vector<Control>& Controls() const { return controls_; }
  // Tell the view that a control changed after writing to it.
  void Update(const std::string& control);

  bool Loaded() const { return loaded_; }
  bool Visible() const { return visible_; }
  // Called by the host when it shows the form.
  void Shown(FormView* view);
  // Hide ends a modal display; Unload also puts the controls back as designed.
  void Hide();
  void Unload();

  // The user's actions, forwarded by the host.
  virtual void Click(const std::string& control);
  virtual void SelectionChanged(const std::string& control, int listIndex);
  // The window frame's close box: unloads unless the form says otherwise.
  virtual void CloseByFrame();

 private:
  void Load();

  std::string name_;
  std::string caption_;
  std::string designedCaption_;
  int width_, height_;
  std::vector<Control> designed_;
  std::vector<Control> controls_;
  bool loaded_ = true;
  bool visible_ = false;
  FormView* view_ = nullptr;
};

}  // namespace host
