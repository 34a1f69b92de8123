# Installing Quavr on Linux: the library and its header, the tools, the man pages, the examples
# and the license, with a pkg-config file and a CMake package for hosts. Each file belongs to
# one component, the Debian package it ships in: lib (libquavr0), dev (libquavr-dev), tools
# (quavr-tools) or python (python3-quavr).
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

install(TARGETS quavr EXPORT QuavrTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT lib NAMELINK_COMPONENT dev
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})  # a host of Quavr::quavr finds quavr.h
install(FILES ${PROJECT_SOURCE_DIR}/include/quavr.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}
  COMPONENT dev)
install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT lib)
install(FILES ${PROJECT_SOURCE_DIR}/examples/open_device.c ${PROJECT_SOURCE_DIR}/examples/play_song.c
              ${PROJECT_SOURCE_DIR}/examples/adaptive_music.c
              ${PROJECT_SOURCE_DIR}/examples/ode_to_joy.mid ${PROJECT_SOURCE_DIR}/examples/fanfare.mid
              ${PROJECT_SOURCE_DIR}/examples/loop_theme.mid ${PROJECT_SOURCE_DIR}/examples/calm_theme.mid
              ${PROJECT_SOURCE_DIR}/examples/combat_theme.mid
  DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples COMPONENT dev)
# Every page in man/ is installed: a new function brings its page and nothing else.
install(DIRECTORY ${PROJECT_SOURCE_DIR}/man/man1 DESTINATION ${CMAKE_INSTALL_MANDIR} COMPONENT tools)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/man/man3 DESTINATION ${CMAKE_INSTALL_MANDIR} COMPONENT dev)

# The Python package for Debian's python3, which loads the system's libquavr.so.0. Only in its
# Debian package: a plain install has no place Python looks in.
install(DIRECTORY ${PROJECT_SOURCE_DIR}/python/quavr DESTINATION lib/python3/dist-packages
  COMPONENT python EXCLUDE_FROM_ALL FILES_MATCHING PATTERN "*.py" PATTERN py.typed
  PATTERN __pycache__ EXCLUDE)

# The tools find an installed libquavr.so next to them, wherever the tree was installed; an
# absolute library directory stays where it is.
if(IS_ABSOLUTE "${CMAKE_INSTALL_LIBDIR}")
  set(QUAVR_TOOLS_RPATH "${CMAKE_INSTALL_LIBDIR}")
else()
  file(RELATIVE_PATH QUAVR_TOOLS_RPATH ${CMAKE_INSTALL_FULL_BINDIR} ${CMAKE_INSTALL_FULL_LIBDIR})
  set(QUAVR_TOOLS_RPATH "$ORIGIN/${QUAVR_TOOLS_RPATH}")
endif()
set_target_properties(quavr-play quavr-info PROPERTIES INSTALL_RPATH "${QUAVR_TOOLS_RPATH}")
install(TARGETS quavr-play quavr-info RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT tools)

# The CMake package: Quavr::quavr with its include directory, in LIBDIR/cmake/Quavr.
set(QUAVR_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/Quavr)
install(EXPORT QuavrTargets NAMESPACE Quavr:: DESTINATION ${QUAVR_CMAKE_DIR} COMPONENT dev)
configure_package_config_file(${PROJECT_SOURCE_DIR}/packaging/QuavrConfig.cmake.in
  ${PROJECT_BINARY_DIR}/QuavrConfig.cmake INSTALL_DESTINATION ${QUAVR_CMAKE_DIR})
# While at 0.x, a minor version may break the API.
write_basic_package_version_file(${PROJECT_BINARY_DIR}/QuavrConfigVersion.cmake
  COMPATIBILITY SameMinorVersion)
install(FILES ${PROJECT_BINARY_DIR}/QuavrConfig.cmake ${PROJECT_BINARY_DIR}/QuavrConfigVersion.cmake
              ${PROJECT_SOURCE_DIR}/cmake/QuavrResource.cmake
  DESTINATION ${QUAVR_CMAKE_DIR} COMPONENT dev)

# quavr.pc. Its prefix is known only when it is installed (`cmake --install --prefix`, CPack),
# so the file is configured twice: now for everything else, at install time for the prefix.
# An absolute library or include directory is written as it is.
set(QUAVR_PC_PREFIX "@QUAVR_INSTALL_PREFIX@")
function(quavr_pc_dir dir base)  # a GNUInstallDirs directory as quavr.pc writes it
  if(IS_ABSOLUTE "${CMAKE_INSTALL_${dir}}")
    set(QUAVR_PC_${dir} "${CMAKE_INSTALL_${dir}}" PARENT_SCOPE)
  else()
    set(QUAVR_PC_${dir} "\${${base}}/${CMAKE_INSTALL_${dir}}" PARENT_SCOPE)
  endif()
endfunction()
quavr_pc_dir(LIBDIR exec_prefix)
quavr_pc_dir(INCLUDEDIR prefix)
configure_file(${PROJECT_SOURCE_DIR}/packaging/quavr.pc.in ${PROJECT_BINARY_DIR}/quavr.pc.in @ONLY)
install(CODE "
  file(READ \"${PROJECT_BINARY_DIR}/quavr.pc.in\" pc)
  string(REPLACE \"@QUAVR_INSTALL_PREFIX@\" \"\${CMAKE_INSTALL_PREFIX}\" pc \"\${pc}\")
  file(WRITE \"${PROJECT_BINARY_DIR}/pkgconfig/quavr.pc\" \"\${pc}\")" COMPONENT dev)
install(FILES ${PROJECT_BINARY_DIR}/pkgconfig/quavr.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig
  COMPONENT dev)
