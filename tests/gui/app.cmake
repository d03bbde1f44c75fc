# Tests of the ROM attach dialog, the launcher and its pictures, and end-to-end runs of the real
# kivofs-utils. The launcher's sources are built into the program itself, so the tests build
# the ones they need too.
if(TARGET romattachdlg)
  kivofs_gui_test(romattachdlg_gui_tests
    SOURCES AddKivoFSDlgTest.cpp
    LIBS romattachdlg)
endif()

kivofs_gui_test(launcher_pictures_gui_tests
  SOURCES LauncherPicturesTest.cpp ${PROJECT_SOURCE_DIR}/app/LauncherPictures.cpp
  LIBS kivofs_ui)

if(TARGET romattachdlg AND TARGET kivofs_drivetool)
  kivofs_gui_test(app_gui_tests
    SOURCES LauncherDlgTest.cpp
            ${PROJECT_SOURCE_DIR}/app/LauncherDlg.cpp ${PROJECT_SOURCE_DIR}/app/AboutDlg.cpp
            ${PROJECT_SOURCE_DIR}/app/LauncherPictures.cpp
    LIBS romattachdlg kivofs_drivetool)
endif()

if(TARGET kivofs-utils AND TARGET kivofs)
  kivofs_gui_test(end_to_end_gui_tests
    SOURCES EndToEndTest.cpp
    LIBS kivofs_ui)
  add_dependencies(end_to_end_gui_tests kivofs-utils kivofs)
  target_compile_definitions(end_to_end_gui_tests PRIVATE
    KIVOFS_UTILS_BIN="$<TARGET_FILE:kivofs-utils>"
    KIVOFS_BIN="$<TARGET_FILE:kivofs>")
endif()

if(TARGET kivofs-utils)
  add_test(NAME install_layout
           COMMAND ${CMAKE_COMMAND} -DBUILD_DIR=${PROJECT_BINARY_DIR}
                   -DPREFIX=${PROJECT_BINARY_DIR}/install-check -P ${PROJECT_SOURCE_DIR}/tests/packaging/InstallLayout.cmake)
endif()
