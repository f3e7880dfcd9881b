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

# The game's run-time errors are C++ exceptions.
target_compile_options(segnicore PUBLIC -fexceptions)
if(SEGNI_WEB_TEST_CLOCK)
  target_compile_definitions(segnicore PRIVATE SEGNI_TEST_CLOCK_SECONDS=${SEGNI_WEB_TEST_CLOCK})
endif()

# The faces the design names map onto (see installFontSubstitutions):
# Liberation Sans regular, bold and bold italic, and Liberation Serif bold,
# cut down to the characters the page can show and renamed, as the fonts'
# licence asks of a changed face, to Segni Sans and Segni Serif. The
# characters: printable ASCII, Latin-1 and Latin Extended-A (Italian and the
# other Western and Central European languages a pupil's name may be in),
# Romanian's S and T with comma below, and the rest of Windows-1252 (the
# game's own character set: typographic quotes and dashes, the ellipsis of
# a shortened text, the euro sign). Every text of the game and of Qt's
# Italian boxes is in it; a character outside it (a name typed in Cyrillic,
# say) shows as the face's empty box, since the page carries no other font.
set(SEGNI_WEB_FONT_CHARACTERS "U+0020-007E,U+00A0-017F,U+0192,U+0218-021B,\
U+02C6,U+02DC,U+2013-2014,U+2018-201A,U+201C-201E,U+2020-2022,U+2026,U+2030,\
U+2039-203A,U+20AC,U+2122")
find_program(SEGNI_PYTHON python3 REQUIRED)
execute_process(COMMAND ${SEGNI_PYTHON} -c "import fontTools.subset"
  RESULT_VARIABLE segni_no_fonttools OUTPUT_QUIET ERROR_QUIET)
if(segni_no_fonttools)
  message(FATAL_ERROR "The web page's fonts are cut with fontTools (Debian's fonttools)")
endif()
set(segni_web_fonts "")
foreach(pair LiberationSans-Regular:SegniSans-Regular:Sans LiberationSans-Bold:SegniSans-Bold:Sans
    LiberationSans-BoldItalic:SegniSans-BoldItalic:Sans LiberationSerif-Bold:SegniSerif-Bold:Serif)
  string(REPLACE ":" ";" pair ${pair})
  list(GET pair 0 source)
  list(GET pair 1 face)
  list(GET pair 2 kind)
  set(face ${CMAKE_CURRENT_BINARY_DIR}/fonts/${face}.ttf)
  add_custom_command(OUTPUT ${face}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_CURRENT_BINARY_DIR}/fonts
    COMMAND ${SEGNI_PYTHON} ${PROJECT_SOURCE_DIR}/tools/subset_font.py
            ${SEGNI_WEB_FONTS}/${source}.ttf ${face} "Segni ${kind}" ${SEGNI_WEB_FONT_CHARACTERS}
    DEPENDS ${PROJECT_SOURCE_DIR}/tools/subset_font.py ${SEGNI_WEB_FONTS}/${source}.ttf
    VERBATIM)
  list(APPEND segni_web_fonts ${face})
endforeach()
qt_add_resources(segnicore fonts PREFIX /segni-fonts BASE ${CMAKE_CURRENT_BINARY_DIR}/fonts
  FILES ${segni_web_fonts})
qt_add_resources(segnicore i18n PREFIX /i18n BASE ${SEGNI_QT_TRANSLATIONS}
  FILES ${SEGNI_QT_TRANSLATIONS}/qtbase_it.qm)

# The page scales the game to the browser's view and scales it anew when the
# view changes size: Qt's scale is set while windows are open, which only
# its private QHighDpiScaling and QWindowPrivate do.
target_link_libraries(segnicore PRIVATE Qt6::GuiPrivate)

# Qt's platform plugin for browsers carries DejaVu Sans and Sans Mono (1 MB)
# as its fallback faces, registered by an object of their own that Qt links
# into every program; Qt has no option to leave them out. Every text of the
# game takes the faces above, so the page links without that object, and
# the faces' data, which nothing else refers to, stays out with it.
foreach(n RANGE 1 9)
  set(resources Qt6::QWasmIntegrationPlugin_resources_${n})
  if(TARGET ${resources})
    get_target_property(objects ${resources} IMPORTED_OBJECTS_RELEASE)
    if(objects MATCHES "qrc_wasmfonts_init")
      set_target_properties(${resources} PROPERTIES IMPORTED_OBJECTS_RELEASE "")
    endif()
  endif()
endforeach()
# Of Qt's image formats the game reads only its icons and cursors.
qt_import_plugins(segni INCLUDE_BY_TYPE imageformats Qt6::QICOPlugin)

# No box waits in an event loop of its own, so the page needs no Asyncify;
# -Oz makes it smaller than -Os.
set(segni_web_link_options -fexceptions -Oz)
target_link_options(segni PRIVATE ${segni_web_link_options})
set_target_properties(segni PROPERTIES QT_WASM_EXPORT_NAME segni_entry)

# The bare Qt window the start-up benchmark compares the game with, built
# the same way beside the page (served from this build tree, never
# installed). It too links without Qt's fallback faces (that is a setting of
# Qt's own targets), and so draws its labels' letters as boxes.
if(NOT SEGNI_WEB_TEST_CLOCK)
  qt_add_executable(bench_floor ${PROJECT_SOURCE_DIR}/bench/floor.cpp)
  target_link_libraries(bench_floor PRIVATE Qt6::Widgets)
  target_link_options(bench_floor PRIVATE ${segni_web_link_options})
  # The benchmark draws it at the scale the game is drawn at in the same
  # view, through Qt's environment variable, which its page passes in.
  set_property(TARGET bench_floor PROPERTY QT_WASM_EXTRA_EXPORTED_METHODS ENV)
endif()

# Beside each file of text or code, the same compressed with gzip and with
# brotli at their highest levels, for a server to send in their place to a
# browser that takes them (see the README): a third of the bytes with gzip,
# less with brotli.
find_program(GZIP_EXECUTABLE gzip REQUIRED)
find_program(BROTLI_EXECUTABLE brotli REQUIRED)
set(segni_web_served ${PROJECT_SOURCE_DIR}/web/index.html
  ${CMAKE_CURRENT_BINARY_DIR}/segni.js
  ${CMAKE_CURRENT_BINARY_DIR}/segni.wasm
  ${CMAKE_CURRENT_BINARY_DIR}/qtloader.js)
set(segni_web_compressed "")
foreach(file ${segni_web_served})
  get_filename_component(name ${file} NAME)
  set(packed ${CMAKE_CURRENT_BINARY_DIR}/compressed/${name})
  # The link writes segni.wasm with segni.js, the program's file: depending
  # on the program is depending on both.
  set(source ${file})
  if(name STREQUAL "segni.wasm")
    set(source "")
  endif()
  add_custom_command(OUTPUT ${packed}.gz ${packed}.br
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_CURRENT_BINARY_DIR}/compressed
    COMMAND sh -c "\"$0\" -9nc \"$1\" > \"$2\"" ${GZIP_EXECUTABLE} ${file} ${packed}.gz
    COMMAND ${BROTLI_EXECUTABLE} -f -q 11 -o ${packed}.br ${file}
    DEPENDS ${source} segni VERBATIM)
  list(APPEND segni_web_compressed ${packed}.gz ${packed}.br)
endforeach()
add_custom_target(segni_compressed ALL DEPENDS ${segni_web_compressed})

install(FILES ${segni_web_served} ${segni_web_compressed} DESTINATION .)
install(FILES ${PROJECT_SOURCE_DIR}/desktop/icons/segni-64.png DESTINATION . RENAME segni.png)
# What a browser installs the page with: its manifest and large icons.
install(FILES ${PROJECT_SOURCE_DIR}/web/segni.webmanifest
  ${PROJECT_SOURCE_DIR}/desktop/icons/segni-192.png
  ${PROJECT_SOURCE_DIR}/desktop/icons/segni-512.png
  DESTINATION .)
install(FILES ${SEGNI_WEB_FONTS_COPYRIGHT} DESTINATION licences RENAME fonts-liberation.txt)
# Last, once every file of the page is in place: the service worker that
# keeps them for play without a network.
install(CODE "set(SEGNI_SW_TEMPLATE \"${PROJECT_SOURCE_DIR}/web/sw.js.in\")")
install(SCRIPT ${PROJECT_SOURCE_DIR}/cmake/web-offline.cmake)
