# Installation (`cmake --install build`) and the Debian package
# (`cpack -G DEB` in the build folder; scripts/check-package builds and checks
# it). Included at the end of the top-level CMakeLists.txt, when every target
# exists.
#
# Layout under the prefix (/usr for the package):
#   bin/TovekCamera                     the program
#   lib/<multiarch>/tovekcamera/*.so    our shared libraries, private to the
#                                       program: found through RPATH (relative,
#                                       so the tree works under any prefix or
#                                       unpacked anywhere); no ldconfig, nothing
#                                       in the system's library folder
#   <GStreamer plugin folder>/libgsttovekcamerasrc.so
#                                       the camera source element, where
#                                       gst-inspect-1.0 finds it (its own RPATH
#                                       leads to the private libraries)
#   share/tovekcamera/                  language files, Skin/, icons/,
#                                       DocumentDevice.ini, the help file: the
#                                       program looks for them here when it runs
#                                       from <prefix>/bin (platform/system
#                                       install_layout.h; keep the names in step)
#   share/applications, share/icons/hicolor, share/man/man1, lib/udev/rules.d
#
# `sudo cmake --install build --prefix /usr` installs what the package holds.
# Under another prefix GStreamer finds the element only when GST_PLUGIN_PATH
# names <prefix>/<plugin folder>.
#
# The program's libraries are found by walking the link dependencies of the
# program and the plugin, so a library added later is installed without
# touching this file.

if(NOT TOVEK_GUI)
  return() # no program to install
endif()

include(GNUInstallDirs)

set(TOVEK_PACKAGE_NAME tovekcamera)
set(TOVEK_SHARE_DIR ${CMAKE_INSTALL_DATADIR}/tovekcamera)
# The multiarch library folder, whatever the prefix (GNUInstallDirs gives it
# only for prefix /usr): beside GStreamer's plugin folder, and out of
# ldconfig's folders, so the package needs no ldconfig call.
if(CMAKE_LIBRARY_ARCHITECTURE)
  set(TOVEK_PRIVATE_LIB_DIR lib/${CMAKE_LIBRARY_ARCHITECTURE}/tovekcamera)
else()
  set(TOVEK_PRIVATE_LIB_DIR ${CMAKE_INSTALL_LIBDIR}/tovekcamera)
endif()

# GStreamer's plugin folder relative to GStreamer's own prefix, so that it
# lands in the system's plugin folder for prefix /usr and follows any other
# prefix (where GST_PLUGIN_PATH must then name it).
pkg_get_variable(TOVEK_GST_PLUGINS_DIR_ABS gstreamer-1.0 pluginsdir)
pkg_get_variable(TOVEK_GST_PREFIX gstreamer-1.0 prefix)
file(RELATIVE_PATH tovek_gst_rel "${TOVEK_GST_PREFIX}" "${TOVEK_GST_PLUGINS_DIR_ABS}")
set(TOVEK_GST_PLUGIN_DIR "${tovek_gst_rel}" CACHE STRING
  "GStreamer plugin folder below the install prefix")

# tovek_shared_dependencies(out target...): the shared libraries built here
# that the targets load, directly or through static libraries.
function(tovek_shared_dependencies out)
  set(queue ${ARGN})
  set(seen "")
  set(shared "")
  while(queue)
    list(POP_FRONT queue t)
    if(t IN_LIST seen)
      continue()
    endif()
    list(APPEND seen ${t})
    get_target_property(imported ${t} IMPORTED)
    if(imported)
      continue()
    endif()
    get_target_property(type ${t} TYPE)
    if(type STREQUAL "SHARED_LIBRARY")
      list(APPEND shared ${t})
    endif()
    set(links "")
    if(NOT type STREQUAL "INTERFACE_LIBRARY")
      get_target_property(direct ${t} LINK_LIBRARIES)
      if(direct)
        list(APPEND links ${direct})
      endif()
    endif()
    get_target_property(iface ${t} INTERFACE_LINK_LIBRARIES)
    if(iface)
      list(APPEND links ${iface})
    endif()
    foreach(lib IN LISTS links)
      # Static libraries carry their private links as $<LINK_ONLY:name>.
      string(REGEX REPLACE "^\\$<LINK_ONLY:([^>]+)>$" "\\1" lib "${lib}")
      if(NOT lib MATCHES "[$<>]" AND TARGET ${lib})
        list(APPEND queue ${lib})
      endif()
    endforeach()
  endwhile()
  set(${out} ${shared} PARENT_SCOPE)
endfunction()

# "$ORIGIN/<path from from_dir to the private libraries>".
function(tovek_origin_rpath out from_dir)
  file(RELATIVE_PATH rel "/prefix/${from_dir}" "/prefix/${TOVEK_PRIVATE_LIB_DIR}")
  set(${out} "$ORIGIN/${rel}" PARENT_SCOPE)
endfunction()

# ---- program, libraries, plugin ------------------------------------------------

tovek_shared_dependencies(tovek_private_libs TovekCamera gsttovekcamerasrc)
tovek_origin_rpath(tovek_program_rpath ${CMAKE_INSTALL_BINDIR})
tovek_origin_rpath(tovek_plugin_rpath ${TOVEK_GST_PLUGIN_DIR})
set_target_properties(TovekCamera PROPERTIES INSTALL_RPATH "${tovek_program_rpath}")
set_target_properties(gsttovekcamerasrc PROPERTIES INSTALL_RPATH "${tovek_plugin_rpath}")

install(TARGETS TovekCamera RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# The private libraries keep INSTALL_RPATH "$ORIGIN": they find each other.
install(TARGETS ${tovek_private_libs} LIBRARY DESTINATION ${TOVEK_PRIVATE_LIB_DIR})
install(TARGETS gsttovekcamerasrc LIBRARY DESTINATION ${TOVEK_GST_PLUGIN_DIR})

# ---- the program's files ---------------------------------------------------------

set(tovek_bin ${CMAKE_RUNTIME_OUTPUT_DIRECTORY})
file(GLOB tovek_lng_files CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/language/files/*.lng)
install(FILES ${tovek_lng_files} ${CMAKE_SOURCE_DIR}/app/settings/DocumentDevice.ini
  DESTINATION ${TOVEK_SHARE_DIR})
install(DIRECTORY ${tovek_bin}/Skin ${tovek_bin}/icons DESTINATION ${TOVEK_SHARE_DIR})
# The help: "Lumivue.chm" and the same pages as HTML for desktops without a
# CHM viewer. A build without chmcmd makes only the pages, hence OPTIONAL.
install(FILES ${tovek_bin}/Lumivue.chm DESTINATION ${TOVEK_SHARE_DIR} OPTIONAL)
install(DIRECTORY ${tovek_bin}/help DESTINATION ${TOVEK_SHARE_DIR})

# ---- desktop integration -------------------------------------------------------

install(FILES ${CMAKE_SOURCE_DIR}/packaging/tovekcamera.desktop
  DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
foreach(size 16 32 48 64 128 256)
  install(FILES ${tovek_bin}/icons/tovekcamera-${size}.png
    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
    RENAME tovekcamera.png)
endforeach()

# The device rules give the user at the computer access to the cameras. udev
# reads <prefix>/lib/udev/rules.d, not the multiarch library folder.
file(GLOB tovek_udev_rules CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/packaging/udev/*.rules)
install(FILES ${tovek_udev_rules} DESTINATION lib/udev/rules.d)

# Manual pages are installed compressed, as Debian's policy asks.
set(tovek_man_source ${CMAKE_SOURCE_DIR}/packaging/man/TovekCamera.1)
set(tovek_man_page ${CMAKE_BINARY_DIR}/packaging/TovekCamera.1.gz)
add_custom_command(OUTPUT ${tovek_man_page}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/packaging
  COMMAND gzip -9 -n -c ${tovek_man_source} > ${tovek_man_page}
  DEPENDS ${tovek_man_source}
  COMMENT "Compressing the manual page")
add_custom_target(tovek_man_page ALL DEPENDS ${tovek_man_page})
install(FILES ${tovek_man_page} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# ---- the Debian package -----------------------------------------------------------

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ${TOVEK_PACKAGE_NAME})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "TovekCamera developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "viewer for USB document cameras")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
  "viewer for USB document cameras\n"
  "TovekCamera shows the live picture of a Q5 or RVX document camera\n"
  "(visualiser), drives its optics and picture settings, draws annotations\n"
  "over the picture, saves snapshots as JPEG files and records AVI video\n"
  "with sound. Emulated cameras (--simulate) let it run without one.")
string(REPLACE ";" "" CPACK_DEBIAN_PACKAGE_DESCRIPTION "${CPACK_DEBIAN_PACKAGE_DESCRIPTION}")
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
# Library dependencies from the binaries themselves; the elements the
# program builds its pipelines from are loaded by name and named here:
# base (tee, appsink, audio conversion, the emulated microphone), good
# (v4l2src for RVX cameras, autoaudiosink, avidemux, lamemp3enc) and libav
# (the Microsoft ADPCM encoder). Tesseract's library comes without language
# data: English is the program's own language, German its other one.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS
  "gstreamer1.0-plugins-base, gstreamer1.0-plugins-good, gstreamer1.0-libav, tesseract-ocr-eng")
# A viewer for the help file (F1), sound input through PulseAudio, and
# reading German text.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xchm, gstreamer1.0-pulseaudio, tesseract-ocr-deu")
# dpkg-shlibdeps follows the binaries' RPATH ($ORIGIN) to the private
# libraries in the staging tree: they belong to the package and add no
# dependency.
include(CPack)

# The package built, installed, run by a new user and removed again
# (scripts/check-package). Slow and needs root, so it is skipped unless asked
# for: TOVEK_CHECK_PACKAGE=1 ctest --test-dir build -L package
add_test(NAME package_deb
  COMMAND ${CMAKE_SOURCE_DIR}/scripts/check-package --no-build ${CMAKE_BINARY_DIR})
set_tests_properties(package_deb PROPERTIES
  LABELS package TIMEOUT 600 SKIP_RETURN_CODE 77 ENVIRONMENT TOVEK_PACKAGE_TEST=1
  RESOURCE_LOCK tovek_e2e_display)
