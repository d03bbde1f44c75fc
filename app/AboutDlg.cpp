#include "app/AboutDlg.h"

#include "app/LauncherPictures.h"
#include "res/Templates.h"

CAboutDlg::CAboutDlg() : ui::CDialog(res::IDD_ABOUTBOX) {
  // The template shows icon 128, which must be loadable before the window is made.
  app::RegisterLauncherPictures();
}
