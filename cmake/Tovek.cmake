# Shared build helpers.

# tovek_add_test(name SOURCES ... [LIBS ...] [LABELS ...] [ENV VAR=value ...] [SIMULATE])
# One GoogleTest executable; each test case becomes a CTest test. Tests run
# headless. Label "gui" marks tests that need Qt widgets; the sanitizer run in
# CI takes the others. SIMULATE makes it a program on the emulated devices: its
# main installs them (sim/install) before the tests run. Every test links the
# shared test helpers (testsupport/, with its Qt part for tests labelled gui)
# and the sanitizer settings; none carries its own.
function(tovek_add_test name)
  cmake_parse_arguments(T "SIMULATE" "" "SOURCES;LIBS;LABELS;ENV" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  if(T_SIMULATE)
    set(main tovek_sim_test_main)
  else()
    set(main GTest::gtest_main)
  endif()
  target_link_libraries(${name} PRIVATE ${T_LIBS} tovek_testsupport tovek_leak_suppressions
    GTest::gtest GTest::gmock ${main} Threads::Threads)
  target_link_libraries(${name} PRIVATE tovek_sanitizer_options)
  if(NOT T_LABELS)
    set(T_LABELS lib)
  endif()
  # Qt asks -fPIC of the tests that link it, GStreamer -pthread; all take
  # both, so that one precompiled header (testsupport/) fits them all.
  target_compile_options(${name} PRIVATE -fPIC -pthread)
  # Widget tests wait with Qt's event loop turning (testsupport/qt_wait.h).
  if("gui" IN_LIST T_LABELS)
    target_link_libraries(${name} PRIVATE tovek_testsupport_qt)
    target_precompile_headers(${name} REUSE_FROM tovek_test_pch_qt)
  else()
    target_precompile_headers(${name} REUSE_FROM tovek_test_pch)
  endif()
  # The environment goes through `cmake -E env` as the test's launcher: the
  # ENVIRONMENT property loses all but its first entry when tests are
  # discovered at test time.
  set_target_properties(${name} PROPERTIES CROSSCOMPILING_EMULATOR
    "${CMAKE_COMMAND};-E;env;QT_QPA_PLATFORM=offscreen;TOVEK_BUILD_DIR=${CMAKE_BINARY_DIR};GST_PLUGIN_PATH=${CMAKE_BINARY_DIR}/bin;${T_ENV}")
  gtest_discover_tests(${name}
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 60
    PROPERTIES LABELS "${T_LABELS}" TIMEOUT 300)
endfunction()

# tovek_app_room(room [SOURCES ...] [GUI_SOURCES ...] [ROOMS ...] [LIBS ...]
#                [GUI_LIBS ...])
# One room of the program (app/<room>): the static library tovekcamera_<room>.
# Other rooms see only its include/ folder, which holds include/<room>/*.h, and
# only when they link it; src/ stays private. ROOMS names the rooms below it
# that it uses: linking them is the only way their headers come onto its
# path, so an arrow that points up fails to compile. GUI_SOURCES and GUI_LIBS
# are the parts built only with the user interface (TOVEK_GUI).
function(tovek_app_room room)
  cmake_parse_arguments(R "" "" "SOURCES;GUI_SOURCES;ROOMS;LIBS;GUI_LIBS" ${ARGN})
  set(sources ${R_SOURCES})
  set(libs ${R_LIBS})
  if(TOVEK_GUI)
    list(APPEND sources ${R_GUI_SOURCES})
    list(APPEND libs ${R_GUI_LIBS})
  endif()
  list(TRANSFORM sources PREPEND src/)
  list(TRANSFORM R_ROOMS PREPEND tovekcamera_)
  set(target tovekcamera_${room})
  if(sources)
    add_library(${target} STATIC ${sources})
    target_include_directories(${target} PUBLIC include PRIVATE src)
    target_link_libraries(${target} PUBLIC ${R_ROOMS} ${libs})
  else()
    add_library(${target} INTERFACE)
    target_include_directories(${target} INTERFACE include)
    target_link_libraries(${target} INTERFACE ${R_ROOMS} ${libs})
  endif()
endfunction()
