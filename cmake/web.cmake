# The web page, built with Qt for WebAssembly by scripts/web. Installing
# lays out the folder a school puts on its web server: the page, its .js,
# .wasm and Qt's loader, the icon and the fonts' licences.

# Debian 13's fonts-liberation and Qt's Italian texts: the page carries both.
set(SEGNI_WEB_FONTS /usr/share/fonts/truetype/liberation CACHE PATH
  "Folder of the Liberation fonts the page embeds (Debian's fonts-liberation)")
set(SEGNI_WEB_FONTS_COPYRIGHT /usr/share/doc/fonts-liberation/copyright CACHE FILEPATH
  "Their copyright and licence")
set(SEGNI_QT_TRANSLATIONS /usr/share/qt6/translations CACHE PATH
  "Folder of qtbase_it.qm (Debian's qt6-translations-l10n)")
# For the browser test only, never for the page a school serves: the clock
# starts at this many seconds instead of fifteen minutes.
set(SEGNI_WEB_TEST_CLOCK "" CACHE STRING "Test build: the clock's start in seconds")

# The game's run-time errors are C++ exceptions; boxes wait in nested event
# loops, which a page can only do with Asyncify.
target_compile_options(segnicore PUBLIC -fexceptions)
if(SEGNI_WEB_TEST_CLOCK)
  target_compile_definitions(segnicore PRIVATE SEGNI_TEST_CLOCK_SECONDS=${SEGNI_WEB_TEST_CLOCK})
endif()

# The faces the design names map onto these (see installFontSubstitutions):
# Liberation Sans regular, bold and bold italic, and Liberation Serif bold.
set(segni_web_fonts LiberationSans-Regular.ttf LiberationSans-Bold.ttf
  LiberationSans-BoldItalic.ttf LiberationSerif-Bold.ttf)
list(TRANSFORM segni_web_fonts PREPEND ${SEGNI_WEB_FONTS}/)
qt_add_resources(segnicore fonts PREFIX /segni-fonts BASE ${SEGNI_WEB_FONTS}
  FILES ${segni_web_fonts})
qt_add_resources(segnicore i18n PREFIX /i18n BASE ${SEGNI_QT_TRANSLATIONS}
  FILES ${SEGNI_QT_TRANSLATIONS}/qtbase_it.qm)

# The page scales the game to the browser's view and scales it anew when the
# view changes size: Qt's scale is set while windows are open, which only
# its private QHighDpiScaling and QWindowPrivate do.
target_link_libraries(segnicore PRIVATE Qt6::GuiPrivate)

set(segni_web_link_options -fexceptions -sASYNCIFY -Os)
target_link_options(segni PRIVATE ${segni_web_link_options})
set_target_properties(segni PROPERTIES QT_WASM_EXPORT_NAME segni_entry)

# The bare Qt window the start-up benchmark compares the game with, built
# the same way beside the page (served from this build tree, never
# installed).
if(NOT SEGNI_WEB_TEST_CLOCK)
  qt_add_executable(bench_floor ${PROJECT_SOURCE_DIR}/bench/floor.cpp)
  target_link_libraries(bench_floor PRIVATE Qt6::Widgets)
  target_link_options(bench_floor PRIVATE ${segni_web_link_options})
endif()

install(FILES ${PROJECT_SOURCE_DIR}/web/index.html
  ${CMAKE_CURRENT_BINARY_DIR}/segni.js
  ${CMAKE_CURRENT_BINARY_DIR}/segni.wasm
  ${CMAKE_CURRENT_BINARY_DIR}/qtloader.js
  DESTINATION .)
install(FILES ${PROJECT_SOURCE_DIR}/desktop/icons/segni-64.png DESTINATION . RENAME segni.png)
# What a browser installs the page with: its manifest and large icons.
install(FILES ${PROJECT_SOURCE_DIR}/web/segni.webmanifest
  ${PROJECT_SOURCE_DIR}/desktop/icons/segni-192.png
  ${PROJECT_SOURCE_DIR}/desktop/icons/segni-512.png
  DESTINATION .)
install(FILES ${SEGNI_WEB_FONTS_COPYRIGHT} DESTINATION licences RENAME fonts-liberation.txt)
if(EXISTS ${QT6_INSTALL_PREFIX}/DEJAVU-LICENSE)
  install(FILES ${QT6_INSTALL_PREFIX}/DEJAVU-LICENSE DESTINATION licences RENAME fonts-dejavu.txt)
endif()

# Last, once every file of the page is in place: the service worker that
# keeps them for play without a network.
install(CODE "set(SEGNI_SW_TEMPLATE \"${PROJECT_SOURCE_DIR}/web/sw.js.in\")")
install(SCRIPT ${PROJECT_SOURCE_DIR}/cmake/web-offline.cmake)
