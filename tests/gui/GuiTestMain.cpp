// main() of every GUI test program: starts wx on the (virtual) display, then runs the tests.
#include <gtest/gtest.h>
#include <wx/app.h>
#include <wx/init.h>

#include <cstdio>

namespace {

class TestApp : public wxApp {
 public:
  bool OnInit() override { return true; }
};

void FailOnAssert(const wxString& file, int line, const wxString& func, const wxString& cond,
                  const wxString& msg) {
  ADD_FAILURE() << "wx assertion " << cond.utf8_string() << " in " << func.utf8_string() << " at "
                << file.utf8_string() << ":" << line << ": " << msg.utf8_string();
}

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  wxApp::SetInstance(new TestApp());
  if (!wxEntryStart(argc, argv)) {
    std::fprintf(stderr, "cannot start the GUI (is DISPLAY set? run under xvfb-run)\n");
    return 1;
  }
  if (!wxTheApp->CallOnInit()) return 1;
  wxSetAssertHandler(FailOnAssert);
  const int result = RUN_ALL_TESTS();
  wxTheApp->OnExit();
  wxEntryCleanup();
  return result;
}
