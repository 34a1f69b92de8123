// The library module's own identification, readable with `strings libquavr.so`.
#include "include/quavr.h"

[[gnu::used]] static const char kIdent[] = "Quavr " QUAVR_VERSION_STRING;
