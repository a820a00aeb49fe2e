// Menu 132 as data: the commands the Device Setting dialog shares with its
// buttons. No window attaches it as a menu bar; the dialog's command handling
// accepts its ids all the same.
#pragma once

#include <string>
#include <vector>

namespace res {

struct MenuItem {
  int id = 0;                      // 0 for a pop-up or a separator
  std::string text;                // empty for a separator
  std::vector<MenuItem> children;  // entries of a pop-up
};

// The top-level pop-ups of menu 132.
const std::vector<MenuItem>& SettingMenu();

}  // namespace res
