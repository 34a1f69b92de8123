# The Windows SDK, dist/quavr-VERSION-win32.zip (scripts/package: `cpack -G ZIP` in the Win32
# build directory): QUAVR.DLL, quavr.h, quavr.def, the mingw import library libquavr.a, an
# MSVC import library quavr.lib, the license and a README on linking.
set(QUAVR_API_DIR ${PROJECT_SOURCE_DIR}/api)  # where quavr.def lives

# quavr.lib is what Microsoft's `lib /def:quavr.def` makes: each function imported by the
# decorated name an MSVC compiler emits for it (_bgmPlay@8, __imp__bgmPlay@8), which is also its
# export name, and uMidiStatus as data. lld-link makes it with the same rules. (llvm-dlltool
# cannot: for i386 it strips the leading underscore from the imported name, and its aliases are
# objects a /SAFESEH link refuses.)
find_program(QUAVR_LLD_LINK NAMES lld-link lld-link-14)
if(NOT QUAVR_LLD_LINK)
  message(STATUS "lld-link not found (Debian: lld): no quavr.lib, no Windows SDK")
  return()
endif()
set(QUAVR_MSVC_IMPORT_LIBRARY ${CMAKE_BINARY_DIR}/quavr.lib)
add_custom_command(OUTPUT ${QUAVR_MSVC_IMPORT_LIBRARY}
  COMMAND ${QUAVR_LLD_LINK} /nologo /machine:x86 /def:${QUAVR_API_DIR}/quavr.def
          /implib:${QUAVR_MSVC_IMPORT_LIBRARY}
  DEPENDS ${QUAVR_API_DIR}/quavr.def)
add_custom_target(quavr_msvc_import_library ALL DEPENDS ${QUAVR_MSVC_IMPORT_LIBRARY})

# The README lists the exports as quavr.def has them, and has Windows line ends.
file(STRINGS ${QUAVR_API_DIR}/quavr.def exports REGEX " @[0-9]+")
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${QUAVR_API_DIR}/quavr.def)
set(QUAVR_EXPORT_TABLE "")
foreach(line IN LISTS exports)
  string(REGEX MATCH "^ *([^ ]+).* @([0-9]+)( DATA)?" _ "${line}")
  string(LENGTH "${CMAKE_MATCH_2}" digits)
  string(SUBSTRING "   " ${digits} -1 pad)
  set(QUAVR_EXPORT_TABLE "${QUAVR_EXPORT_TABLE}  ${pad}${CMAKE_MATCH_2}  ${CMAKE_MATCH_1}")
  if(CMAKE_MATCH_3)
    set(QUAVR_EXPORT_TABLE "${QUAVR_EXPORT_TABLE} (data)")
  endif()
  set(QUAVR_EXPORT_TABLE "${QUAVR_EXPORT_TABLE}\r\n")  # configure_file leaves a value's line ends
endforeach()
configure_file(${PROJECT_SOURCE_DIR}/packaging/win32-README.txt ${CMAKE_BINARY_DIR}/sdk/README.txt
  @ONLY NEWLINE_STYLE CRLF)
install(FILES $<TARGET_FILE:quavr_dll> DESTINATION bin)
install(FILES ${PROJECT_SOURCE_DIR}/include/quavr.h DESTINATION include)
install(FILES ${QUAVR_IMPORT_LIBRARY} ${QUAVR_MSVC_IMPORT_LIBRARY} ${QUAVR_API_DIR}/quavr.def
  DESTINATION lib)
install(FILES ${PROJECT_SOURCE_DIR}/LICENSE ${CMAKE_BINARY_DIR}/sdk/README.txt DESTINATION .)

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME quavr)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_FILE_NAME quavr-${PROJECT_VERSION}-win32)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
include(CPack)
