# The Debian packages, one per install component, made by `cpack -G DEB` in a build directory
# configured for /usr (scripts/package):
#   libquavr0     (lib)    the library; Recommends the soundfont Quavr Synth plays
#   libquavr-dev  (dev)    header, .so link, quavr.pc, CMake package, examples, man pages of the API
#   quavr-tools   (tools)  quavr-play and quavr-info with their man pages
#   python3-quavr (python) the Python package, over libquavr0's library
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quavr)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "the Quavr authors")
set(CPACK_PACKAGE_CONTACT "the Quavr authors")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_STRIP_FILES ON)
set(CPACK_COMPONENTS_ALL lib dev tools python)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# A shlibs file (and ldconfig triggers) for the package holding libquavr.so.0.
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
# dpkg-shlibdeps runs in each package's staging tree; a program linked with libquavr.so.0 finds
# it in libquavr0's tree next to it (the tools depend on libquavr0 by name below).
if(IS_ABSOLUTE "${CMAKE_INSTALL_LIBDIR}")
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ../lib${CMAKE_INSTALL_LIBDIR})
else()
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ../lib${CPACK_PACKAGING_INSTALL_PREFIX}/${CMAKE_INSTALL_LIBDIR})
endif()
set(QUAVR_DEB_EXACT "(= ${CPACK_PACKAGE_VERSION})")

set(CPACK_DEBIAN_LIB_PACKAGE_NAME libquavr0)
set(CPACK_DEBIAN_LIB_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_LIB_PACKAGE_RECOMMENDS timgm6mb-soundfont)
set(CPACK_COMPONENT_LIB_DESCRIPTION "Standard MIDI Files as background music (library)
Quavr plays Standard MIDI Files as background music for a host
application: on its General MIDI synthesizer, on ALSA or JACK MIDI
ports, or into a log.")

set(CPACK_DEBIAN_DEV_PACKAGE_NAME libquavr-dev)
set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
# The header and the .so link are all a host builds with: libquavr.so.0 brings its own dependencies.
set(CPACK_DEBIAN_DEV_PACKAGE_DEPENDS "libquavr0 ${QUAVR_DEB_EXACT}")
set(CPACK_COMPONENT_DEV_DESCRIPTION "Standard MIDI Files as background music (development files)
The header, pkg-config file, CMake package, examples and manual
pages of Quavr's C API.")

set(CPACK_DEBIAN_TOOLS_PACKAGE_NAME quavr-tools)
set(CPACK_DEBIAN_TOOLS_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_TOOLS_PACKAGE_DEPENDS "libquavr0 ${QUAVR_DEB_EXACT}")
set(CPACK_COMPONENT_TOOLS_DESCRIPTION "Standard MIDI Files as background music (tools)
quavr-play plays a song on a MIDI output device; quavr-info shows
what Quavr makes of a song.")

set(CPACK_DEBIAN_PYTHON_PACKAGE_NAME python3-quavr)
set(CPACK_DEBIAN_PYTHON_PACKAGE_SECTION python)
set(CPACK_DEBIAN_PYTHON_PACKAGE_ARCHITECTURE all)
set(CPACK_DEBIAN_PYTHON_PACKAGE_DEPENDS "libquavr0 ${QUAVR_DEB_EXACT}, python3 (>= 3.11)")
set(CPACK_COMPONENT_PYTHON_DESCRIPTION "Standard MIDI Files as background music (Python 3)
The quavr package: Quavr's songs, MIDI ports and render devices
from Python, through ctypes over libquavr0's library.")

# Debian wants each package's license as /usr/share/doc/PACKAGE/copyright. A plain install has
# it once, in share/doc/quavr, so these come only with a component asked for by name.
foreach(component lib dev tools python)
  string(TOUPPER ${component} upper)
  install(FILES ${PROJECT_SOURCE_DIR}/LICENSE RENAME copyright
    DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/${CPACK_DEBIAN_${upper}_PACKAGE_NAME}
    COMPONENT ${component} EXCLUDE_FROM_ALL)
endforeach()

include(CPack)
