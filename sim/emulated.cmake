# The emulated USB bus, the emulated Q5 camera, the control channel and the
# tovek-sim tool. Included from sim/CMakeLists.txt after the picture generator.
# Paths are taken from this file's folder so it may be included from anywhere.
add_subdirectory(${CMAKE_CURRENT_LIST_DIR}/control ${CMAKE_CURRENT_BINARY_DIR}/control)
add_subdirectory(${CMAKE_CURRENT_LIST_DIR}/usb ${CMAKE_CURRENT_BINARY_DIR}/usb)
add_subdirectory(${CMAKE_CURRENT_LIST_DIR}/q5 ${CMAKE_CURRENT_BINARY_DIR}/q5)
add_subdirectory(${CMAKE_CURRENT_LIST_DIR}/tools ${CMAKE_CURRENT_BINARY_DIR}/tools)
