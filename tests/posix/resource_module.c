/* A module with nothing but an embedded resource, loaded with dlopen by the resource tests. */
int quavr_resource_module_marker;
