# Values fixed at build time. Test builds point every host at loopback addresses.
configure_file(${CMAKE_SOURCE_DIR}/cmake/build_values.h.in
               ${CMAKE_BINARY_DIR}/generated/build_values.h @ONLY)
