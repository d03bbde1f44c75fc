# The drive tool dialog on real widgets.
if(TARGET kivofs_drivetool)
  kivofs_gui_test(drivetool_gui_tests
    SOURCES RomFSDlgCreateTest.cpp RomFSDlgRenameTest.cpp
    LIBS kivofs_drivetool fsimage)
endif()
