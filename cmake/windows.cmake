# The Windows program is cross-built with mingw-w64 in a build folder of its
# own (<build>/win32) as part of the normal build, when the cross compiler is
# installed; otherwise skipped. Its tests run from this build's ctest under
# Wine on a private Xvfb display, in a Wine prefix made fresh inside the build
# folder on every run.
option(KORVEL_WINDOWS "Cross-build Korvel.exe with mingw-w64 and test it under Wine" ON)

if(CMAKE_CROSSCOMPILING OR NOT KORVEL_WINDOWS)
  return()
endif()

find_program(KORVEL_MINGW_CXX x86_64-w64-mingw32-g++-posix)
find_program(KORVEL_MINGW_WINDRES x86_64-w64-mingw32-windres)
if(NOT KORVEL_MINGW_CXX OR NOT KORVEL_MINGW_WINDRES)
  message(STATUS "mingw-w64 not found: the Windows program is not built")
  return()
endif()

include(ExternalProject)
set(KORVEL_WIN32_DIR ${CMAKE_BINARY_DIR}/win32)
ExternalProject_Add(korvel_win32_build
  SOURCE_DIR ${CMAKE_SOURCE_DIR}
  BINARY_DIR ${KORVEL_WIN32_DIR}
  CMAKE_ARGS
    -DCMAKE_TOOLCHAIN_FILE=${CMAKE_SOURCE_DIR}/cmake/mingw-w64-x86_64.cmake
    -DCMAKE_BUILD_TYPE=${CMAKE_BUILD_TYPE}
    -DKORVEL_BUILD_TESTS=${KORVEL_BUILD_TESTS}
    -DKORVEL_BUILD_BENCH=OFF
    -DKORVEL_SANITIZE=OFF
    -DCMAKE_C_COMPILER_LAUNCHER=${CMAKE_C_COMPILER_LAUNCHER}
    -DCMAKE_CXX_COMPILER_LAUNCHER=${CMAKE_CXX_COMPILER_LAUNCHER}
  INSTALL_COMMAND ""
  # The sources are this tree: let the inner build decide what is out of date.
  BUILD_ALWAYS ON)

if(NOT KORVEL_BUILD_TESTS)
  return()
endif()

find_program(KORVEL_WINE64 wine64 PATHS /usr/lib/wine /usr/lib64/wine NO_CACHE)
find_program(KORVEL_WINESERVER wineserver PATHS /usr/lib/wine /usr/lib64/wine NO_CACHE)
find_program(KORVEL_XVFB Xvfb NO_CACHE)
find_program(KORVEL_IMPORT import NO_CACHE)
if(NOT KORVEL_WINE64 OR NOT KORVEL_WINESERVER OR NOT KORVEL_XVFB OR NOT KORVEL_IMPORT)
  message(STATUS "wine64, Xvfb or ImageMagick's import missing: the Windows tests do not run")
  return()
endif()

set(KORVEL_WINE_RUN ${CMAKE_SOURCE_DIR}/app/win32/tests/run_under_wine.sh)
set(KORVEL_WINE_DIR ${CMAKE_BINARY_DIR}/wine)
set(KORVEL_WINE_ARGS
  --wine ${KORVEL_WINE64} --wineserver ${KORVEL_WINESERVER}
  --xvfb ${KORVEL_XVFB} --import ${KORVEL_IMPORT}
  --prefix ${KORVEL_WINE_DIR}/prefix --work ${KORVEL_WINE_DIR}
  --shots ${CMAKE_BINARY_DIR})

# One prefix for every Windows test, made anew on each run; the tests take
# turns with it.
add_test(NAME win32_wine_prefix
  COMMAND bash ${KORVEL_WINE_RUN} ${KORVEL_WINE_ARGS} --timeout 240 --init)
add_test(NAME win32_korvel_tests
  COMMAND bash ${KORVEL_WINE_RUN} ${KORVEL_WINE_ARGS} --timeout 300
          -- ${KORVEL_WIN32_DIR}/tests/korvel_tests.exe)
add_test(NAME win32_dialog_tests
  COMMAND bash ${KORVEL_WINE_RUN} ${KORVEL_WINE_ARGS} --timeout 300
          -- ${KORVEL_WIN32_DIR}/bin/korvel_dialog_tests.exe)
set_tests_properties(win32_wine_prefix PROPERTIES
  FIXTURES_SETUP korvel_wine RESOURCE_LOCK korvel_wine TIMEOUT 300)
set_tests_properties(win32_korvel_tests win32_dialog_tests PROPERTIES
  FIXTURES_REQUIRED korvel_wine RESOURCE_LOCK korvel_wine TIMEOUT 360)
