# The Windows build of the Qt Test suites (cross-built by scripts/windows).
# They run as .exe files under Wine, on Qt's Windows platform, from
# wine_game.sh; the suite that tests Linux behaviour (named pipes, POSIX
# permissions) stays out.
find_package(Qt6 REQUIRED COMPONENTS Test)

add_library(segnitestsupport STATIC support/fakeplatform.h support/game.cpp
  support/otheraccount.h support/otheraccount_win.cpp)
target_link_libraries(segnitestsupport PUBLIC segnicore Qt6::Test)
target_include_directories(segnitestsupport PUBLIC support)
# The school's web server the record tests start is Linux's lighttpd: those
# rows are skipped here.
target_compile_definitions(segnitestsupport PUBLIC SEGNI_DOCS_DIR="${PROJECT_SOURCE_DIR}/docs")

# The crash tests' copy of the game that stops after a given change.
add_executable(recordchild support/recordchild.cpp)
target_link_libraries(recordchild PRIVATE segnicore)

foreach(name tst_numbers tst_question tst_startup tst_answer tst_ending tst_countdown tst_savetransaction
             tst_window tst_accessibility tst_platform tst_hidpi tst_windows tst_recordcrash)
  add_executable(${name} ${name}.cpp)
  target_link_libraries(${name} PRIVATE segnitestsupport)
  target_compile_options(${name} PRIVATE -Wall -Wextra -Wpedantic)
endforeach()
