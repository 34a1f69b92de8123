// How an embedded resource sits in a module: quavr_add_resource (cmake/QuavrResource.cmake)
// defines one exported object of this shape per resource, named by resourceSymbol().
#pragma once

#include <string>

namespace quavr::platform::posix {

struct EmbeddedResource {
  const unsigned char* begin;
  const unsigned char* end;
};

// The symbol of a resource: quavr_rsrc_i_<id> for an integer id (given as MAKEINTRESOURCE or
// as "#<id>"), else quavr_rsrc_s_<hex of the upper-cased name>. Empty for a null name.
std::string resourceSymbol(const char* name);

}  // namespace quavr::platform::posix
