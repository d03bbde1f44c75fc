// CAboutDlg: "About Kivo FS Utils" (template 100), opened from the launcher's About entry.
#pragma once

#include "ui/Dialog.h"

class CAboutDlg : public ui::CDialog {
 public:
  CAboutDlg();
};
