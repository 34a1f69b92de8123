# The Windows SDK, dist/quavr-VERSION-win32.zip (scripts/package installs the 32-bit and the
# 64-bit build into one tree and zips it): quavr.h, the license and a README on linking at the
# top; under x86/ and x64/ each build's QUAVR.DLL (bin/) and its export table quavr.def, mingw
# import library libquavr.a and MSVC import library quavr.lib (lib/).
set(QUAVR_API_DIR ${PROJECT_SOURCE_DIR}/api)  # where the 32-bit quavr.def, the source, lives
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(QUAVR_SDK_ARCH x64)
else()
  set(QUAVR_SDK_ARCH x86)
endif()

# quavr.lib is what Microsoft's `lib /def:quavr.def` makes: each function imported by the name
# an MSVC compiler emits for it (x86: the decorated _bgmPlay@8, __imp__bgmPlay@8; x64: bgmPlay,
# __imp_bgmPlay), which is also its export name, and uMidiStatus as data. lld-link makes it with
# the same rules. (llvm-dlltool cannot: for i386 it strips the leading underscore from the
# imported name, and its aliases are objects a /SAFESEH link refuses.)
find_program(QUAVR_LLD_LINK NAMES lld-link lld-link-14)
if(NOT QUAVR_LLD_LINK)
  message(STATUS "lld-link not found (Debian: lld): no quavr.lib, no Windows SDK")
  return()
endif()
set(QUAVR_MSVC_IMPORT_LIBRARY ${CMAKE_BINARY_DIR}/quavr.lib)
add_custom_command(OUTPUT ${QUAVR_MSVC_IMPORT_LIBRARY}
  COMMAND ${QUAVR_LLD_LINK} /nologo /machine:${QUAVR_SDK_ARCH} /def:${QUAVR_DEF}
          /implib:${QUAVR_MSVC_IMPORT_LIBRARY}
  DEPENDS ${QUAVR_DEF})
add_custom_target(quavr_msvc_import_library ALL DEPENDS ${QUAVR_MSVC_IMPORT_LIBRARY})

# The README lists the exports as quavr.def has them, under both architectures' names, and has
# Windows line ends.
file(STRINGS ${QUAVR_API_DIR}/quavr.def exports REGEX " @[0-9]+")
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${QUAVR_API_DIR}/quavr.def)
set(QUAVR_EXPORT_TABLE "")
foreach(line IN LISTS exports)
  string(REGEX MATCH "^ *([^ ]+).* @([0-9]+)( DATA)?" _ "${line}")
  set(x86 "${CMAKE_MATCH_1}")
  set(ordinal "${CMAKE_MATCH_2}")
  set(data "${CMAKE_MATCH_3}")
  string(REGEX REPLACE "^_([A-Za-z]+)@.*" "\\1" x64 "${x86}")
  string(LENGTH "${ordinal}" digits)
  string(SUBSTRING "       " ${digits} -1 pad)
  string(LENGTH "${x86}" width)
  math(EXPR width "24 - ${width}")
  string(REPEAT " " ${width} gap)
  set(row "  ${pad}${ordinal}  ${x86}${gap}${x64}")
  if(data)
    set(row "${row} (data)")
  endif()
  # configure_file leaves a value's line ends as they are
  set(QUAVR_EXPORT_TABLE "${QUAVR_EXPORT_TABLE}${row}\r\n")
endforeach()
configure_file(${PROJECT_SOURCE_DIR}/packaging/win32-README.txt ${CMAKE_BINARY_DIR}/sdk/README.txt
  @ONLY NEWLINE_STYLE CRLF)
install(FILES $<TARGET_FILE:quavr_dll> DESTINATION ${QUAVR_SDK_ARCH}/bin)
install(FILES ${QUAVR_IMPORT_LIBRARY} ${QUAVR_MSVC_IMPORT_LIBRARY}
  DESTINATION ${QUAVR_SDK_ARCH}/lib)
install(FILES ${QUAVR_DEF} RENAME quavr.def DESTINATION ${QUAVR_SDK_ARCH}/lib)
install(FILES ${PROJECT_SOURCE_DIR}/include/quavr.h DESTINATION include)
install(FILES ${PROJECT_SOURCE_DIR}/LICENSE ${CMAKE_BINARY_DIR}/sdk/README.txt DESTINATION .)
