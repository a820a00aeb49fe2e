#include "res/setting_menu.h"

#include "res/resource_ids.h"

namespace res {

const std::vector<MenuItem>& SettingMenu() {
  static const std::vector<MenuItem> menu{
      {0,
       "&File",
       {
           {ID_FILE_IMPORT, "Import", {}},
           {ID_FILE_EXPORT, "Export", {}},
           {0, "", {}},
           {ID_APP_EXIT, "Exit", {}},
       }},
      {0,
       "&Device",
       {
           {ID_DEVICE_GET_SETTING, "Get Device Setting", {}},
           {ID_DEVICE_SET_SETTING, "Set to Device", {}},
       }},
  };
  return menu;
}

}  // namespace res
