# The drive tool dialog on real widgets.
if(TARGET kivofs_drivetool)
  kivofs_gui_test(drivetool_gui_tests
    SOURCES RomFSDlgCreateTest.cpp RomFSDlgRenameTest.cpp
    LIBS kivofs_drivetool fsimage)
endif()

# The drive tool inside the real program, checked against the command line.
if(TARGET kivofs-utils AND TARGET kivofs)
  kivofs_gui_test(drivetool_end_to_end_gui_tests
    SOURCES DriveToolEndToEndTest.cpp
    LIBS kivofs_ui)
  add_dependencies(drivetool_end_to_end_gui_tests kivofs-utils kivofs)
  target_compile_definitions(drivetool_end_to_end_gui_tests PRIVATE
    KIVOFS_UTILS_BIN="$<TARGET_FILE:kivofs-utils>"
    KIVOFS_BIN="$<TARGET_FILE:kivofs>")
endif()
