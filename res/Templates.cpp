#include "res/Templates.h"

#include "res/Strings.h"

namespace res {
namespace {

using K = ControlKind;

constexpr std::uint32_t kEditStyle = WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL;
constexpr std::uint32_t kReadOnlyEditStyle = WS_BORDER | ES_AUTOHSCROLL | ES_READONLY;
constexpr std::uint32_t kPushStyle = BS_PUSHBUTTON | WS_TABSTOP;

constexpr ControlTemplate kAboutControls[] = {
    {IDC_STATIC, K::Icon, "", 11, 17, 20, 20, SS_ICON, 0, 128},
    {IDC_STATIC, K::Static, "Kivo FS Utils Version 1.0", 40, 10, 119, 8, SS_LEFT | SS_NOPREFIX, 0,
     0},
    {IDC_STATIC, K::Static, "Drive images for DS and GBA ROMs", 40, 25, 119, 8, SS_LEFT, 0, 0},
    {1, K::DefPushButton, "OK", 178, 7, 50, 14, BS_DEFPUSHBUTTON | WS_TABSTOP | WS_GROUP, 0, 0},
};

constexpr ControlTemplate kLauncherControls[] = {
    {1, K::DefPushButton, "OK", 93, 142, 50, 14, BS_DEFPUSHBUTTON | WS_TABSTOP, 0, 0},
    {launcher::IDC_CREATE_DRIVE, K::OwnerDrawButton, "", 7, 7, 105, 60, BS_OWNERDRAW | WS_TABSTOP,
     0, 0},
    {launcher::IDC_ADD_DRIVES, K::OwnerDrawButton, "", 125, 7, 105, 60, BS_OWNERDRAW | WS_TABSTOP,
     0, 0},
    {launcher::IDC_BLANK_LEFT, K::OwnerDrawButton, "", 7, 74, 105, 60, BS_OWNERDRAW | WS_TABSTOP, 0,
     0},
    {launcher::IDC_BLANK_RIGHT, K::OwnerDrawButton, "", 125, 74, 105, 60, BS_OWNERDRAW | WS_TABSTOP,
     0, 0},
};

constexpr ControlTemplate kChooseDirectoryControls[] = {
    {IDC_STATIC, K::Static, "Directory Name :", 6, 7, 78, 10, SS_LEFT | WS_GROUP, 0, 0},
    {choosedir::IDC_DIRECTORY, K::Edit, "", 6, 18, 188, 13, kEditStyle, 0, 0},
    {choosedir::IDC_TREE, K::TreeView, "Tree1", 6, 35, 188, 95, WS_BORDER | WS_TABSTOP, 0, 0},
    {IDC_STATIC, K::Static, "Drives : ", 6, 133, 61, 8, SS_LEFT | WS_GROUP, 0, 0},
    {choosedir::IDC_DRIVES, K::ComboBox, "", 6, 144, 188, 12,
     CBS_DROPDOWN | CBS_SORT | WS_VSCROLL | WS_TABSTOP, 0, 0},
    {1, K::PushButton, "OK", 199, 18, 43, 14, kPushStyle, 0, 0},
    {2, K::PushButton, "Cancel", 199, 35, 43, 14, kPushStyle, 0, 0},
};

constexpr ControlTemplate kRomFSControls[] = {
    {IDC_STATIC, K::Static, "Note : Directories hold a maximum of 115 entries", 133, 103, 62, 25,
     SS_LEFT, 0, 0},
    {IDC_STATIC, K::Static, "File System Version : ", 13, 107, 68, 8, SS_LEFT, 0, 0},
    {IDC_STATIC, K::Static, "Drive Name : ", 13, 155, 44, 8, SS_LEFT, 0, 0},
    {IDC_STATIC, K::Static, "Drive Size :", 13, 139, 37, 8, SS_LEFT, 0, 0},
    {romfs::IDC_FS_VERSION, K::Edit, "", 93, 102, 35, 14, kReadOnlyEditStyle, WS_EX_RIGHT, 0},
    {romfs::IDC_DRIVE_NAME, K::Edit, "", 93, 152, 87, 14, kEditStyle, 0, 0},
    {romfs::IDC_DRIVE_SIZE, K::Edit, "", 93, 136, 35, 14, kReadOnlyEditStyle, WS_EX_RIGHT, 0},
    {romfs::IDC_EXIT, K::PushButton, "Exit", 72, 225, 60, 14, kPushStyle, 0, 0},
    {IDC_STATIC, K::Static, "Number of Root Entries :", 13, 123, 77, 9, SS_LEFT, 0, 0},
    {romfs::IDC_ROOT_ENTRIES, K::Edit, "", 93, 120, 35, 14, kReadOnlyEditStyle, WS_EX_RIGHT, 0},
    {IDC_STATIC, K::Static, "Kbytes", 133, 137, 22, 8, SS_LEFT, 0, 0},
    {romfs::IDC_BROWSE_SOURCE, K::PushButton, "...", 178, 21, 16, 14, kPushStyle, 0, 0},
    {IDC_STATIC, K::Static, "Path to Directory to use as Virtual Drive :", 11, 10, 128, 8, SS_LEFT,
     0, 0},
    {romfs::IDC_SOURCE_DIR, K::Edit, "", 11, 21, 162, 14, kEditStyle, 0, 0},
    {IDC_STATIC, K::GroupBox, "Create Drive", 7, 1, 192, 89, BS_GROUPBOX, 0, 0},
    {IDC_STATIC, K::GroupBox, "Re-Name Drive", 7, 93, 192, 127, BS_GROUPBOX, 0, 0},
    {romfs::IDC_CREATE_DRIVE, K::PushButton, "Read && Save Directory", 11, 71, 85, 14, kPushStyle,
     0, 0},
    {romfs::IDC_BROWSE_IMAGE, K::PushButton, "...", 178, 52, 16, 14, kPushStyle, 0, 0},
    {IDC_STATIC, K::Static, "Path to Virtual Drive :", 11, 40, 68, 8, SS_LEFT, 0, 0},
    {romfs::IDC_IMAGE_PATH, K::Edit, "", 11, 52, 162, 14, kEditStyle, 0, 0},
    {romfs::IDC_OPEN_IMAGE, K::PushButton, "...", 178, 181, 16, 14, kPushStyle, 0, 0},
    {IDC_STATIC, K::Static, "Path to Virtual Drive :", 11, 169, 68, 8, SS_LEFT, 0, 0},
    {romfs::IDC_RENAME_PATH, K::Edit, "", 11, 181, 162, 14, kEditStyle, 0, 0},
    {romfs::IDC_SAVE_NEW_NAME, K::PushButton, "Save New Name", 11, 200, 85, 14, kPushStyle, 0, 0},
};

constexpr ControlTemplate kAddKivoFSControls[] = {
    {addkivofs::IDC_HOST, K::Edit, "", 7, 17, 188, 12, kEditStyle, 0, 0},
    {addkivofs::IDC_BROWSE_HOST, K::PushButton, "...", 200, 16, 16, 13, kPushStyle, 0, 0},
    {addkivofs::IDC_DRIVE0, K::Edit, "", 7, 47, 188, 12, kEditStyle, 0, 0},
    {addkivofs::IDC_BROWSE_DRIVE0, K::PushButton, "...", 200, 46, 16, 13, kPushStyle, 0, 0},
    {addkivofs::IDC_DRIVE1, K::Edit, "", 7, 77, 188, 12, kEditStyle, 0, 0},
    {addkivofs::IDC_BROWSE_DRIVE1, K::PushButton, "...", 200, 76, 16, 13, kPushStyle, 0, 0},
    {addkivofs::IDC_OUTPUT, K::Edit, "", 7, 107, 188, 12, kEditStyle, 0, 0},
    {addkivofs::IDC_BROWSE_OUTPUT, K::PushButton, "...", 201, 106, 16, 13, kPushStyle, 0, 0},
    {addkivofs::IDC_SAVE_FLASH, K::CheckBox, "Use Saveflash as a RAM Drive", 7, 127, 145, 15,
     BS_AUTOCHECKBOX | BS_MULTILINE | WS_TABSTOP, 0, 0},
    {addkivofs::IDC_SAVE, K::PushButton, "Save", 81, 145, 50, 14, kPushStyle, 0, 0},
    {addkivofs::IDC_EXIT, K::DefPushButton, "Exit", 166, 145, 50, 14, BS_DEFPUSHBUTTON | WS_TABSTOP,
     0, 0},
    {IDC_STATIC, K::Static, "Path to Kivo Rom :", 7, 7, 96, 8, SS_LEFT, 0, 0},
    {IDC_STATIC, K::Static, "Drive 0 - Rom Drive", 7, 37, 93, 8, SS_LEFT, 0, 0},
    {IDC_STATIC, K::Static, "Drive 1 - Rom Drive", 7, 67, 88, 8, SS_LEFT, 0, 0},
    {IDC_STATIC, K::Static, "Saved Rom :", 7, 97, 67, 8, SS_LEFT, 0, 0},
};

constexpr std::uint32_t kModalPopup =
    WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT;

constexpr DialogTemplate kTemplates[] = {
    {IDD_ABOUTBOX, "About Kivo FS Utils", 0, 0, 235, 55, kModalPopup, 0, "MS Sans Serif", 8,
     kAboutControls},
    {IDD_KIVOFSUTILS_DIALOG, kProgramCaption, 0, 0, 237, 163, kModalPopup, WS_EX_APPWINDOW,
     "MS Sans Serif", 8, kLauncherControls},
    {IDD_CHOOSE_DIRECTORY, "Choose Directory", 0, 0, 249, 163, kModalPopup, 0, "MS Sans Serif", 8,
     kChooseDirectoryControls},
    // No system menu, hence no close box.
    {IDD_ROMFS_DIALOG, "Kivo RomFS", 0, 0, 206, 246, WS_POPUP | WS_CAPTION | DS_SETFONT,
     WS_EX_APPWINDOW, "MS Sans Serif", 8, kRomFSControls},
    {IDD_ADDKIVOFS_DIALOG, "AddKivoFS", 0, 0, 223, 166, kModalPopup, WS_EX_APPWINDOW,
     "MS Sans Serif", 8, kAddKivoFSControls},
};

}  // namespace

const DialogTemplate* FindDialogTemplate(int id) {
  for (const DialogTemplate& dialog : kTemplates) {
    if (dialog.id == id) return &dialog;
  }
  return nullptr;
}

}  // namespace res
