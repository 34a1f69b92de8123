# Fails unless QUAVR.DLL exports exactly its frozen table: the fifteen first names at ordinals 1
# to 15 in their alphabetical order, uMidiStatus the last of them, then each later export at the
# ordinal it was given. The 64-bit DLL has the same table under undecorated names.
#   cmake -DDLL=QUAVR.DLL -DOBJDUMP=objdump -P check_export_table.cmake
execute_process(COMMAND ${OBJDUMP} -p ${DLL} OUTPUT_VARIABLE dump RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "objdump failed on ${DLL}")
endif()
string(REGEX MATCH "Ordinal Base[ \t]+([0-9]+)" _ "${dump}")
set(base ${CMAKE_MATCH_1})
# The table's rows follow its title, up to the first blank line.
string(REGEX MATCH "\\[Ordinal/Name Pointer\\] Table\n((\t\\[[^\n]+\n)+)" _ "${dump}")
string(REGEX MATCHALL "\\[ *[0-9]+\\] [^\n]+" rows "${CMAKE_MATCH_1}")
set(got)
foreach(row IN LISTS rows)
  string(REGEX MATCH "\\[ *([0-9]+)\\] ([^ \n]+)" _ "${row}")
  math(EXPR ordinal "${CMAKE_MATCH_1} + ${base}")
  list(APPEND got "${ordinal}=${CMAKE_MATCH_2}")
endforeach()
set(expected 1=_bgmBgmStatus@4 2=_bgmCloseMidiDev@4 3=_bgmDeleteSong@4 4=_bgmGetMidiErrorText@8
  5=_bgmGetRepeat@4 6=_bgmGetSongFile@4 7=_bgmGetSongLength@4 8=_bgmGetSongRsc@8 9=_bgmMidiStatus@4
  10=_bgmOpenMidiDev@8 11=_bgmPause@4 12=_bgmPlay@8 13=_bgmSetRepeat@8 14=_bgmStop@4 15=uMidiStatus
  16=_bgmGetSongMem@8 17=_bgmGetSongInfo@12 18=_bgmGetSongText@20 19=_bgmSetLoopStyle@8
  20=_bgmSetLoopPoints@12 21=_bgmGetPosition@4 22=_bgmSeek@8 23=_bgmSetLoopCount@8 24=_bgmSetTempo@8
  25=_bgmSetVolume@8 26=_bgmFade@16 27=_bgmSetChannelMask@8 28=_bgmGetPlayInfo@8
  29=_bgmGetVersion@0 30=_bgmFadeAt@20 31=_bgmOpenRenderDev@8 32=_bgmRender@16
  33=_bgmSetMessageSink@12 34=_bgmSelectSong@8 35=_bgmGetSongEvents@16 36=_bgmGetSongEventData@16
  37=_bgmQueueSong@20 38=_bgmQueueJump@16 39=_bgmQueueStop@8 40=_bgmQueueFade@20 41=_bgmCancelQueued@4
  42=_bgmFadeChannels@20 43=_bgmGetDeviceText@16)
if(dump MATCHES "Magic[ \t]+020b")  # PE32+: a 64-bit module
  list(TRANSFORM expected REPLACE "=_([A-Za-z]+)@[0-9]+$" "=\\1")
endif()
list(SORT got COMPARE NATURAL)
if(NOT got STREQUAL expected)
  message(FATAL_ERROR "export table differs:\n  got:      ${got}\n  expected: ${expected}")
endif()
message(STATUS "exports: ${got}")
