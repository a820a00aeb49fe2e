// A dialog template as plain data: what a dialog resource holds. The
// templates themselves live in src/res; TemplateDialog (template_dialog.h)
// builds a window from one.
//
// Geometry is in dialog units: a horizontal unit is a quarter of the dialog
// font's average character width, a vertical unit an eighth of its height.
#pragma once

#include <string>
#include <vector>

#include "platform/win_types.h"

namespace ui {

enum class ControlClass { Button, Static, Edit, ComboBox, ListBox, Progress, GroupBox };

// Id of controls the program never addresses (labels, group boxes).
constexpr int IDC_STATIC = -1;

struct ControlTemplate {
  ControlTemplate(int id_, ControlClass cls_, std::string text_, int x_, int y_, int cx_, int cy_, DWORD style_ = 0,
                  bool hidden_ = false, std::vector<std::string> items_ = {})
      : id(id_),
        cls(cls_),
        text(std::move(text_)),
        x(x_),
        y(y_),
        cx(cx_),
        cy(cy_),
        style(style_),
        hidden(hidden_),
        items(std::move(items_)) {}

  int id = IDC_STATIC;
  ControlClass cls = ControlClass::Static;
  std::string text;
  int x = 0, y = 0, cx = 0, cy = 0;  // dialog units
  // WS_*, and the class's own bits (BS_*, ES_*, SS_*, CBS_*, LBS_*, PBS_*).
  // WS_CHILD | WS_VISIBLE is implied unless `hidden` is set.
  DWORD style = 0;
  bool hidden = false;             // created without WS_VISIBLE
  std::vector<std::string> items;  // initial entries of a combo or list box
};

struct DialogTemplate {
  int id = 0;
  std::string caption;
  std::string fontName;  // "System" stands for the platform's dialog font
  int fontPointSize = 10;
  int cx = 0, cy = 0;                     // client area, dialog units
  DWORD style = 0;                        // WS_*, DS_*
  std::vector<ControlTemplate> controls;  // in tab order
};

}  // namespace ui
