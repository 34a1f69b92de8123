# Writes OUT, the export table of the 64-bit QUAVR.DLL, from IN, the 32-bit one (api/quavr.def):
# the same exports at the same ordinals, under their undecorated names, as x64 has no stdcall
# decoration. A C host's compiler emits those very names, so the table is its import table too.
#   cmake -DIN=api/quavr.def -DOUT=quavr.def -P QuavrDef64.cmake
file(READ ${IN} table)
string(REGEX REPLACE "^(;[^\n]*\n)+" "" table "${table}")
string(REGEX REPLACE "_([A-Za-z0-9]+)@[0-9]+ = [^ \n]+ @" "\\1 @" table "${table}")
file(WRITE ${OUT}.new
  "; QUAVR.DLL for x64: generated from api/quavr.def, ordinals and all.\n${table}")
file(COPY_FILE ${OUT}.new ${OUT} ONLY_IF_DIFFERENT)
file(REMOVE ${OUT}.new)
