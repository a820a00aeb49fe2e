// Template 131, the Device Setting dialog: the tracker's settings in their
// group boxes, two columns wide, and the row of commands at the bottom.
//
//   Basic setup                      Default report mode
//     Tracker information              (six settings)
//     SMS default retrun phone number  Motion mode setting
//     SOS number                     Sleep mode setup
//     *Extra Setting                 GPRS setup
//     Maximum GPS Fixing Time
//   Import Export Get device setting Set to device  status  Exit
//
// Each setting row is its caption, its field and its unit caption, taken
// from the settings table, so ids, captions and input kinds are written in
// one place. The template shows the basic layout: the extended-layout rows
// are created hidden, and every setting field starts read-only or disabled
// until the dialog enables its groups.
#include "res/dialog_templates.h"
#include "res/resource_ids.h"
#include "settings/settings_lists.h"
#include "settings/settings_table.h"
#include "ui/window_styles.h"

namespace res {
namespace {

using settings::Setting;
using settings::SettingId;
using ui::ControlClass;
using ui::ControlTemplate;
using ui::IDC_STATIC;

// Geometry in dialog units.
constexpr int DIALOG_CX = 398;
constexpr int DIALOG_CY = 344;
constexpr int FIELD_CY = 12;      // edits, one-line captions
constexpr int TWO_LINE_CY = 18;   // a caption that wraps onto a second line
constexpr int LIST_CY = 100;      // a combo box with its drop-down list
constexpr int GAP = 2;            // caption to field, field to unit caption
constexpr int GROUP_TITLE = 9;    // a group's top edge to its first row
constexpr int GROUP_BOTTOM = 3;   // the last row to the group's bottom edge
constexpr int ROW = 14;           // row pitch in the right column
constexpr int LEFT_ROW = 16;      // row pitch in the left column, which has fewer rows
constexpr int TWO_LINE_ROW = 21;  // pitch around a two-line caption

constexpr int LEFT_X = 6;
constexpr int LEFT_CX = 160;
constexpr int RIGHT_X = 170;
constexpr int RIGHT_CX = 222;
constexpr int TOP = 3;
constexpr int COLUMNS_BOTTOM = 321;
constexpr int BUTTONS_Y = 325;
constexpr int BUTTON_CY = 14;

constexpr DWORD EDIT_STYLE = ES_LEFT | ES_AUTOHSCROLL | ES_READONLY | WS_BORDER | WS_TABSTOP;
constexpr DWORD COMBO_STYLE = CBS_DROPDOWN | WS_VSCROLL | WS_TABSTOP | WS_DISABLED;
constexpr DWORD CAPTION_STYLE = SS_LEFT | SS_CENTERIMAGE;  // one line, centred on its field
constexpr DWORD WRAPPED_CAPTION_STYLE = SS_LEFT;           // wraps onto a second line
constexpr DWORD BUTTON_STYLE = BS_PUSHBUTTON | WS_TABSTOP;

// Lists the dialog fills when it initialises; the template leaves them empty.
bool FilledByTheDialog(SettingId id) {
  return id == SettingId::reportMethod || id == SettingId::echoEnable || id == SettingId::modeStatus;
}

// Extended-layout rows start hidden: the template shows the basic layout.
bool HiddenAtStart(SettingId id) { return Setting(id).layout == settings::LayoutUse::Extended; }

std::vector<std::string> TemplateItems(SettingId id) {
  std::vector<std::string> items;
  if (FilledByTheDialog(id)) return items;
  for (std::string_view item : settings::ListItems(Setting(id).list)) items.emplace_back(item);
  return items;
}

// Where a setting row goes: the caption's left edge and width, the field's
// left edge and width, and the caption's shape.
struct RowPlace {
  int x;
  int captionCx;
  int fieldCx;
  bool twoLines = false;
  int captionId = IDC_STATIC;
  int unitId = IDC_STATIC;
  int unitCx = 56;
};

class TemplateBuilder {
 public:
  std::vector<ControlTemplate> controls;

  void Group(std::string text, int x, int y, int cx, int cy) {
    controls.emplace_back(IDC_STATIC, ControlClass::Button, std::move(text), x, y, cx, cy, BS_GROUPBOX);
  }

  void Caption(int id, std::string text, int x, int y, int cx, bool hidden = false, bool twoLines = false) {
    if (twoLines) {
      // Two lines centred on a one-line field.
      controls.emplace_back(id, ControlClass::Static, std::move(text), x, y - (TWO_LINE_CY - FIELD_CY) / 2, cx,
                            TWO_LINE_CY, WRAPPED_CAPTION_STYLE, hidden);
    } else {
      controls.emplace_back(id, ControlClass::Static, std::move(text), x, y, cx, FIELD_CY, CAPTION_STYLE, hidden);
    }
  }

  // A setting's caption, field and unit caption on the row at `y`.
  void SettingRow(SettingId id, int y, const RowPlace& place) {
    const settings::SettingInfo& setting = Setting(id);
    const bool hidden = HiddenAtStart(id);
    Caption(place.captionId, std::string(setting.caption), place.x, y, place.captionCx, hidden, place.twoLines);
    const int fieldX = place.x + place.captionCx + GAP;
    if (settings::IsList(setting)) {
      controls.emplace_back(setting.controlId, ControlClass::ComboBox, "", fieldX, y, place.fieldCx, LIST_CY,
                            COMBO_STYLE, hidden, TemplateItems(id));
    } else {
      const DWORD digits = setting.input == settings::SettingInput::Digits ? ES_NUMBER : 0;
      controls.emplace_back(setting.controlId, ControlClass::Edit, "", fieldX, y, place.fieldCx, FIELD_CY,
                            EDIT_STYLE | digits, hidden);
    }
    if (!setting.unit.empty()) {
      const int unitX = fieldX + place.fieldCx + GAP;
      Caption(place.unitId, std::string(setting.unit), unitX, y, place.unitCx, hidden);
    }
  }

  void Button(int id, std::string text, int x, int cx) {
    controls.emplace_back(id, ControlClass::Button, std::move(text), x, BUTTONS_Y, cx, BUTTON_CY, BUTTON_STYLE);
  }
};

// "Basic setup": tracker information, the SMS acknowledgement number, the
// SOS numbers, the extra settings and the GPS fixing time.
void AddBasicSetup(TemplateBuilder& b) {
  using enum SettingId;
  const int groupX = LEFT_X + 5;
  const int groupCx = LEFT_CX - 10;
  const int x = groupX + 5;
  auto bottomBelow = [](int rowY) { return rowY + FIELD_CY + GROUP_BOTTOM; };

  int top = TOP + GROUP_TITLE;
  int y = top + 13;
  // The version (up to 21 characters, "F-0KV770E-V1.4(200909", mostly
  // capitals and digits, wider than average letters in any dialog font) and
  // the IMEI (15 digits) show whole: these two fields reach the group's edge,
  // and the version's caption takes two lines to give its field the room.
  const int fieldRight = groupX + groupCx - 2;
  b.Caption(IDC_STATIC, "Firmware Version", x, y, 40, false, true);
  b.controls.emplace_back(IDC_EDT_FIRMWARE_VERSION, ControlClass::Edit, "", x + 42, y, fieldRight - (x + 42), FIELD_CY,
                          EDIT_STYLE);
  y += LEFT_ROW + 2;
  b.Caption(IDC_STATIC, "IMEI Number", x, y, 57);
  b.controls.emplace_back(IDC_STC_SETTING_IMEI, ControlClass::Static, "", x + 59, y, 84, FIELD_CY,
                          WS_BORDER | SS_SUNKEN | SS_CENTERIMAGE);
  y += LEFT_ROW;
  b.SettingRow(userName, y, {x, 60, 78});
  // The device name travels with settings files only and is never shown.
  b.Caption(IDC_STC_DEVICE_NAME, std::string(Setting(deviceName).caption), x, y, 60, true);
  b.controls.emplace_back(Setting(deviceName).controlId, ControlClass::Edit, "", x + 62, y, 78, FIELD_CY, EDIT_STYLE,
                          true);
  b.SettingRow(timeZone, y += LEFT_ROW, {x, 60, 50});
  b.Group("Tracker information", groupX, top, groupCx, bottomBelow(y) - top);

  top = bottomBelow(y) + 4;
  y = top + 13;
  b.SettingRow(checkReturnNumber, y, {x, 72, 66, true});
  b.SettingRow(defaultReturnNumber, y += TWO_LINE_ROW, {x, 72, 66, true});
  b.Group("SMS default retrun phone number", groupX, top, groupCx, bottomBelow(y) + 3 - top);

  top = bottomBelow(y) + 6;
  y = top + 10;
  b.SettingRow(sosNumber1, y, {x, 50, 88});
  b.SettingRow(sosNumber2, y += LEFT_ROW, {x, 50, 88});
  b.SettingRow(sosNumber3, y += LEFT_ROW, {x, 50, 88});
  b.Group("SOS number", groupX, top, groupCx, bottomBelow(y) - top);

  top = bottomBelow(y) + 4;
  y = top + 10;
  b.SettingRow(enableCellId, y, {x, 74, 50, false, IDC_STC_ENABLE_CELL_ID});
  b.SettingRow(gsmOffInStatic, y += LEFT_ROW, {x, 74, 50, false, IDC_STC_GSM_OFF_IN_STATIC});
  b.SettingRow(echoEnable, y += LEFT_ROW, {x, 74, 50, false, IDC_STC_ECHO_ENABLE});
  b.SettingRow(disconnectInterval, y += LEFT_ROW,
               {x, 74, 40, false, IDC_STC_DISCONNECT_INTERVAL, IDC_STC_DISCONNECT_UNIT, 16});
  b.Group("*Extra Setting", groupX, top, groupCx, bottomBelow(y) - top);

  b.SettingRow(maxGpsFixingTime, bottomBelow(y) + 12, {groupX, 90, 40});
  b.Group("Basic setup", LEFT_X, TOP, LEFT_CX, COLUMNS_BOTTOM - TOP);
}

// "Default report mode" with its "Motion mode setting", then "Sleep mode
// setup" and "GPRS setup". Fields line up at one edge down the column.
void AddReportSetup(TemplateBuilder& b) {
  using enum SettingId;
  const int x = RIGHT_X + 5;
  const int innerX = x + 5;
  const int fieldX = 284;
  const int captionCx = fieldX - GAP - x;
  const int innerCaptionCx = fieldX - GAP - innerX;
  const int rightEdge = RIGHT_X + RIGHT_CX - 5;

  const int reportTop = TOP;
  int y = reportTop + 9;
  // The report-mode items are long: this list takes the row from its caption on.
  b.SettingRow(reportMode, y, {x, 70, rightEdge - (x + 72)});
  b.SettingRow(reportIntervalTime, y += ROW, {x, captionCx, 40});
  b.SettingRow(smsReportTimes, y += ROW, {x, captionCx, 40});
  b.SettingRow(smsReportFormat, y += ROW, {x, captionCx, 76});
  b.SettingRow(reportMethod, y += ROW, {x, captionCx, 76, false, IDC_STC_REPORT_METHOD});
  b.SettingRow(smsReturnNumber, y += ROW, {x, captionCx, 86});

  const int motionTop = y + FIELD_CY + 2;
  y = motionTop + GROUP_TITLE;
  b.SettingRow(parkTime, y, {innerX, innerCaptionCx, 38});
  b.SettingRow(parkIntervalTime, y += ROW, {innerX, innerCaptionCx, 38});
  b.SettingRow(parkReturnTimes, y += ROW, {innerX, innerCaptionCx, 38, false, IDC_STC_PARK_RETURN_TIMES});
  // "Mode status" takes the place of "Motion report times" in the extended layout.
  b.SettingRow(modeStatus, y, {innerX, innerCaptionCx, 58, false, IDC_STC_MODE_STATUS});
  b.SettingRow(sensitivity, y += ROW, {innerX, innerCaptionCx, 38});
  b.SettingRow(parkReturnNumber, y += ROW, {innerX, innerCaptionCx, 86});
  const int motionBottom = y + FIELD_CY + GROUP_BOTTOM;
  b.Group("Motion mode setting", x, motionTop, RIGHT_CX - 10, motionBottom - motionTop);
  const int reportBottom = motionBottom + GROUP_BOTTOM;
  b.Group("Default report mode", RIGHT_X, reportTop, RIGHT_CX, reportBottom - reportTop);

  const int sleepTop = reportBottom + 2;
  y = sleepTop + GROUP_TITLE;
  b.SettingRow(sleepTime, y, {x, captionCx, 38});
  b.SettingRow(sleepIntervalTime, y += ROW, {x, captionCx, 38});
  b.SettingRow(sleepReturnTimes, y += TWO_LINE_ROW - 2, {x, captionCx, 38, true});
  b.SettingRow(sleepReturnNumber, y += TWO_LINE_ROW - 2, {x, captionCx, 86});
  const int sleepBottom = y + FIELD_CY + GROUP_BOTTOM;
  b.Group("Sleep mode setup", RIGHT_X, sleepTop, RIGHT_CX, sleepBottom - sleepTop);

  // GPRS: two settings a row, then the server's host name across the group.
  const int gprsTop = sleepBottom + 2;
  y = gprsTop + GROUP_TITLE;
  const int secondX = x + 106;
  const RowPlace first{x, 38, 62};
  const RowPlace second{secondX, 58, rightEdge - (secondX + 60)};
  b.SettingRow(gprsPort, y, first);
  b.SettingRow(gprsUserName, y, second);
  b.SettingRow(gprsApn, y += ROW, first);
  b.SettingRow(gprsPassword, y, second);
  b.SettingRow(gprsDns1, y += ROW, first);
  b.SettingRow(gprsDns2, y, second);
  b.SettingRow(gprsServerAddress, y += ROW, {x, 84, rightEdge - (x + 86)});
  b.Group("GPRS setup", RIGHT_X, gprsTop, RIGHT_CX, COLUMNS_BOTTOM - gprsTop);
}

void AddCommands(TemplateBuilder& b) {
  b.Button(IDC_BTN_IMPORT, "Import", 6, 44);
  b.Button(IDC_BTN_EXPORT, "Export", 54, 44);
  b.Button(IDC_BTN_GET_DEVICE_SETTING, "Get device setting", 102, 76);
  b.Button(IDC_BTN_SET_TO_DEVICE, "Set to device", 182, 62);
  // The status wraps onto a second line below the columns, up to Exit, so
  // that "The tracker was disconnected." and every verdict read whole.
  b.controls.emplace_back(IDC_STC_TRANSFER_STATUS, ControlClass::Static, "", 250, COLUMNS_BOTTOM + 1,
                          DIALOG_CX - 6 - 44 - 2 - 250, DIALOG_CY - COLUMNS_BOTTOM - 2, SS_LEFT);
  // The result of the last reply wait; never shown.
  b.controls.emplace_back(IDC_STC_TRANSFER_RESULT, ControlClass::Static, "", 252, BUTTONS_Y, 88, BUTTON_CY,
                          SS_LEFT | SS_CENTERIMAGE | WS_DISABLED, true);
  b.Button(IDC_BTN_EXIT, "Exit", DIALOG_CX - 6 - 44, 44);
}

ui::DialogTemplate Build() {
  TemplateBuilder b;
  AddBasicSetup(b);
  AddReportSetup(b);
  AddCommands(b);
  return ui::DialogTemplate{
      .id = IDD_DEVICE_SETTING,
      .caption = "Device Setting",
      .fontName = "System",
      .fontPointSize = 10,
      .cx = DIALOG_CX,
      .cy = DIALOG_CY,
      .style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT,
      .controls = std::move(b.controls),
  };
}

}  // namespace

const ui::DialogTemplate& DeviceSettingDialogTemplate() {
  static const ui::DialogTemplate t = Build();
  return t;
}

}  // namespace res
