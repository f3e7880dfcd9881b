# The Windows build, cross-compiled by scripts/windows against a static Qt.
# Every program links the MinGW runtime statically, so segni.exe is one
# file with no DLL beside it. The game carries its icon, version and
# manifest, and Qt's Italian texts (a Windows machine has no Qt
# translations to load). The installer segni-setup.exe is built with it.
enable_language(RC)
add_link_options(-static $<$<CONFIG:Release>:-s>)

set(SEGNI_QT_TRANSLATIONS /usr/share/qt6/translations CACHE PATH
  "Folder of qtbase_it.qm (Debian's qt6-translations-l10n)")
find_program(SEGNI_MAKENSIS makensis REQUIRED)

# Runs once the whole project is read, when the targets exist.
function(segni_windows_targets)
  set_target_properties(segni PROPERTIES WIN32_EXECUTABLE ON)
  configure_file(${PROJECT_SOURCE_DIR}/windows/segni.rc.in ${PROJECT_BINARY_DIR}/segni.rc @ONLY)
  target_sources(segni PRIVATE ${PROJECT_BINARY_DIR}/segni.rc)
  set_property(SOURCE ${PROJECT_BINARY_DIR}/segni.rc APPEND PROPERTY OBJECT_DEPENDS
    ${PROJECT_SOURCE_DIR}/src/ui/icons/segni.ico ${PROJECT_SOURCE_DIR}/windows/segni.manifest)

  qt_add_resources(segnicore i18n
    PREFIX /i18n
    BASE ${SEGNI_QT_TRANSLATIONS}
    FILES ${SEGNI_QT_TRANSLATIONS}/qtbase_it.qm)

  # The bare Qt window the start-up benchmark compares the game with,
  # built the same way.
  add_executable(bench_floor WIN32 ${PROJECT_SOURCE_DIR}/bench/floor.cpp)
  target_link_libraries(bench_floor PRIVATE Qt6::Widgets)

  configure_file(${PROJECT_SOURCE_DIR}/windows/segni.nsi.in ${PROJECT_BINARY_DIR}/segni.nsi @ONLY)
  add_custom_command(OUTPUT ${PROJECT_BINARY_DIR}/segni-setup.exe
    COMMAND ${SEGNI_MAKENSIS} -V2 -INPUTCHARSET UTF8 ${PROJECT_BINARY_DIR}/segni.nsi
    DEPENDS segni ${PROJECT_BINARY_DIR}/segni.nsi ${PROJECT_SOURCE_DIR}/src/ui/icons/segni.ico
    COMMENT "Building the installer segni-setup.exe"
    VERBATIM)
  add_custom_target(segni-setup ALL DEPENDS ${PROJECT_BINARY_DIR}/segni-setup.exe)
endfunction()
cmake_language(DEFER CALL segni_windows_targets)
