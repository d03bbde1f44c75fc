// Dialog templates of the desktop program, kept as plain data. Every value mirrors the resource
// script the dialogs were designed with: control IDs, kinds, texts, rectangles in dialog units and
// window styles, listed in template order (which is also the tab order).
#pragma once

#include <cstdint>
#include <span>

#include "res/WindowsHeaders.h"

namespace res {

// Window style bits, with the values the templates were written with.
inline constexpr std::uint32_t WS_POPUP = 0x80000000u;
inline constexpr std::uint32_t WS_CHILD = 0x40000000u;
inline constexpr std::uint32_t WS_VISIBLE = 0x10000000u;
inline constexpr std::uint32_t WS_CAPTION = 0x00C00000u;
inline constexpr std::uint32_t WS_BORDER = 0x00800000u;
inline constexpr std::uint32_t WS_VSCROLL = 0x00200000u;
inline constexpr std::uint32_t WS_SYSMENU = 0x00080000u;
inline constexpr std::uint32_t WS_GROUP = 0x00020000u;
inline constexpr std::uint32_t WS_MINIMIZEBOX = 0x00020000u;
inline constexpr std::uint32_t WS_TABSTOP = 0x00010000u;
inline constexpr std::uint32_t DS_SETFONT = 0x40u;
inline constexpr std::uint32_t DS_MODALFRAME = 0x80u;
inline constexpr std::uint32_t WS_EX_RIGHT = 0x1000u;
inline constexpr std::uint32_t WS_EX_APPWINDOW = 0x40000u;

inline constexpr std::uint32_t SS_LEFT = 0x0u;
inline constexpr std::uint32_t SS_ICON = 0x3u;
inline constexpr std::uint32_t SS_NOPREFIX = 0x80u;
inline constexpr std::uint32_t ES_AUTOHSCROLL = 0x80u;
inline constexpr std::uint32_t ES_READONLY = 0x800u;
inline constexpr std::uint32_t BS_PUSHBUTTON = 0x0u;
inline constexpr std::uint32_t BS_DEFPUSHBUTTON = 0x1u;
inline constexpr std::uint32_t BS_AUTOCHECKBOX = 0x3u;
inline constexpr std::uint32_t BS_GROUPBOX = 0x7u;
inline constexpr std::uint32_t BS_OWNERDRAW = 0xBu;
inline constexpr std::uint32_t BS_MULTILINE = 0x2000u;
inline constexpr std::uint32_t CBS_DROPDOWN = 0x2u;
inline constexpr std::uint32_t CBS_SORT = 0x100u;

inline constexpr int IDC_STATIC = -1;

enum class ControlKind {
  Static,           // text label
  Icon,             // picture label showing an icon resource
  Edit,             // single-line edit field
  PushButton,       // ordinary push button
  DefPushButton,    // the dialog's default push button
  OwnerDrawButton,  // push button drawn from bitmaps
  CheckBox,         // automatic check box
  GroupBox,         // frame with a caption
  TreeView,         // tree-view control
  ComboBox,         // combo box with an edit field and a drop-down list
};

struct ControlTemplate {
  int id;
  ControlKind kind;
  const char* text;  // as written in the template: "&&" stands for one '&'
  int x, y, cx, cy;  // dialog units
  std::uint32_t style;  // besides WS_CHILD | WS_VISIBLE
  std::uint32_t exStyle;
  int resourceId;  // picture shown by an Icon control, else 0
};

struct DialogTemplate {
  int id;
  const char* caption;
  int x, y, cx, cy;  // dialog units
  std::uint32_t style;
  std::uint32_t exStyle;
  const char* fontName;
  int pointSize;
  std::span<const ControlTemplate> controls;
};

inline constexpr int IDD_ABOUTBOX = 100;
inline constexpr int IDD_KIVOFSUTILS_DIALOG = 102;
inline constexpr int IDD_CHOOSE_DIRECTORY = 129;
inline constexpr int IDD_ROMFS_DIALOG = 135;
inline constexpr int IDD_ADDKIVOFS_DIALOG = 136;

// Control IDs, one namespace per template: the templates and the dialogs both take them from
// here.
namespace launcher {
inline constexpr int IDC_CREATE_DRIVE = 1001;
inline constexpr int IDC_ADD_DRIVES = 1002;
inline constexpr int IDC_BLANK_LEFT = 1003;
inline constexpr int IDC_BLANK_RIGHT = 1004;
}  // namespace launcher

namespace choosedir {
inline constexpr int IDC_DIRECTORY = 1000;
inline constexpr int IDC_TREE = 1001;
inline constexpr int IDC_DRIVES = 1002;
}  // namespace choosedir

namespace romfs {
inline constexpr int IDC_FS_VERSION = 1000;
inline constexpr int IDC_DRIVE_NAME = 1001;
inline constexpr int IDC_DRIVE_SIZE = 1002;
inline constexpr int IDC_CREATE_DRIVE = 1004;
inline constexpr int IDC_EXIT = 1005;
inline constexpr int IDC_ROOT_ENTRIES = 1006;
inline constexpr int IDC_SAVE_NEW_NAME = 1007;
inline constexpr int IDC_BROWSE_SOURCE = 1008;
inline constexpr int IDC_SOURCE_DIR = 1009;
inline constexpr int IDC_BROWSE_IMAGE = 1010;
inline constexpr int IDC_IMAGE_PATH = 1011;
inline constexpr int IDC_OPEN_IMAGE = 1012;
inline constexpr int IDC_RENAME_PATH = 1013;
}  // namespace romfs

namespace addkivofs {
inline constexpr int IDC_BROWSE_HOST = 1004;
inline constexpr int IDC_BROWSE_DRIVE0 = 1005;
inline constexpr int IDC_DRIVE0 = 1006;
inline constexpr int IDC_HOST = 1007;
inline constexpr int IDC_DRIVE1 = 1008;
inline constexpr int IDC_BROWSE_DRIVE1 = 1009;
inline constexpr int IDC_OUTPUT = 1010;
inline constexpr int IDC_BROWSE_OUTPUT = 1011;
inline constexpr int IDC_SAVE_FLASH = 1013;
inline constexpr int IDC_SAVE = 1014;
inline constexpr int IDC_EXIT = 1015;
}  // namespace addkivofs

// The template with that ID, or nullptr when there is none.
const DialogTemplate* FindDialogTemplate(int id);

}  // namespace res
