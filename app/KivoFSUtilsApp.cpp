// The application object of kivofs-utils. It owns the drive builder for the whole run, so
// that the image buffer of a build outlives the dialog that made it.
#include <wx/app.h>

#include <iostream>

#include "app/LauncherDlg.h"
#include "base/File.h"
#include "fsimage/Builder.h"

namespace {

class CKivoFSUtilsApp : public wxApp {
 public:
  // Every output is on the disk before the program says it is saved ("Saved"), and an
  // interrupted run leaves no temporary file behind.
  bool OnInit() override {
    kivo::SetSyncOutputs(true);
    kivo::CleanUpOnInterrupt();
    return true;
  }

  // The program is one modal dialog: when it closes, the program ends.
  int OnRun() override {
    // The launcher opens the drive tool and the ROM attach tool modally over itself.
    CKivoFSUtilsDlg dlg(m_builder);
    dlg.DoModal();
    std::cout.flush();
    return 0;
  }

 private:
  // Trace lines on and host listing order: the builder's defaults. Its lines go to the
  // program's standard output.
  kivo::fs::DriveBuilder m_builder{std::cout};
};

}  // namespace

wxIMPLEMENT_APP(CKivoFSUtilsApp);
