# tovek_sim_rvx: the emulated RVX camera (video input device, "tovekrvxsrc"
# GStreamer source, extension unit). Included from sim/CMakeLists.txt after
# the picture generator and the control channel; paths are taken from this
# file's folder.
pkg_check_modules(GST_RVX REQUIRED IMPORTED_TARGET gstreamer-1.0 gstreamer-base-1.0)

add_library(tovek_sim_rvx SHARED
  ${CMAKE_CURRENT_LIST_DIR}/rvx/src/register_sequence.cpp
  ${CMAKE_CURRENT_LIST_DIR}/rvx/src/descriptors.cpp
  ${CMAKE_CURRENT_LIST_DIR}/rvx/src/rvx_camera.cpp
  ${CMAKE_CURRENT_LIST_DIR}/rvx/src/rvx_source.cpp)
target_include_directories(tovek_sim_rvx
  PUBLIC ${CMAKE_CURRENT_LIST_DIR}/rvx/include
  PRIVATE ${CMAKE_CURRENT_LIST_DIR}/rvx/src)
target_link_libraries(tovek_sim_rvx
  PUBLIC tovek_sim_picture
  PRIVATE tovek_devices tovek_system PkgConfig::GST_RVX
    $<TARGET_NAME_IF_EXISTS:tovek_sim_control>)
# "plug rvx" and "pull rvx" through tovek-sim when the control channel is built.
target_compile_definitions(tovek_sim_rvx PRIVATE
  TOVEK_HAVE_SIM_CONTROL=$<TARGET_EXISTS:tovek_sim_control>)

# Leaks of outside libraries that LeakSanitizer must not report.
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
  ${CMAKE_CURRENT_LIST_DIR}/rvx/tests/lsan.supp)
file(READ ${CMAKE_CURRENT_LIST_DIR}/rvx/tests/lsan.supp SIM_RVX_LSAN_SUPP)
configure_file(${CMAKE_CURRENT_LIST_DIR}/rvx/tests/lsan_suppressions.cpp.in
  ${CMAKE_CURRENT_BINARY_DIR}/rvx_lsan_suppressions.cpp @ONLY)

pkg_check_modules(GST_RVX_TESTS REQUIRED IMPORTED_TARGET gstreamer-app-1.0)
tovek_add_test(sim_rvx_tests
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/rvx/tests/rvx_camera_tests.cpp
    ${CMAKE_CURRENT_LIST_DIR}/rvx/tests/rvx_source_tests.cpp
    ${CMAKE_CURRENT_BINARY_DIR}/rvx_lsan_suppressions.cpp
  LIBS tovek_sim_rvx tovek_devices tovek_system PkgConfig::GST_RVX PkgConfig::GST_RVX_TESTS
    PkgConfig::TURBOJPEG $<TARGET_NAME_IF_EXISTS:tovek_sim_control>
  ENV TOVEK_SIMULATE=1)
target_compile_definitions(sim_rvx_tests PRIVATE
  TOVEK_HAVE_SIM_CONTROL=$<TARGET_EXISTS:tovek_sim_control>)
