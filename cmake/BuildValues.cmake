# Values fixed at build time: the updater's version (from the project) and the servers it talks
# to. Release builds name the publisher's hosts; test builds (TALLIX_TEST_HOSTS) point every host
# at a loopback address so that no test sends traffic off the machine.

set(TALLIX_MANIFEST_HOST "http://update.orvane.com" CACHE STRING
    "Origin of the manifest server (http://host[:port], no trailing slash)")
set(TALLIX_DOWNLOAD_HOST "http://down.orvane.com" CACHE STRING
    "Origin of the download server; its host name is what the download IP replaces on a retry")
# An address of the documentation range: the settings manifest supplies the real one.
set(TALLIX_DOWNLOAD_IP "203.0.113.80" CACHE STRING
    "Dotted IPv4 address of the download server used before the settings manifest names one")
set(TALLIX_STATISTICS_HOST "http://stat.orvane.com" CACHE STRING
    "Origin of the statistics server that receives the usage reports")

option(TALLIX_TEST_HOSTS "Point the manifest, download and statistics hosts at 127.0.0.1" OFF)

# Loopback ports of a test build: the manifest server listens on the base port, the download
# server on base + 1 and the statistics server on base + 2; base + 9 is left closed (a host that
# is down). The default is derived from the build directory so that two trees tested at the same
# time do not fight over one port.
string(SHA1 tallix_tree_hash "${CMAKE_BINARY_DIR}")
string(SUBSTRING "${tallix_tree_hash}" 0 4 tallix_tree_hash)
math(EXPR tallix_default_port "20000 + (0x${tallix_tree_hash} % 200) * 10")
set(TALLIX_TEST_PORT_BASE ${tallix_default_port} CACHE STRING
    "First of the loopback ports used by a test build and its test servers")
math(EXPR TALLIX_TEST_MANIFEST_PORT "${TALLIX_TEST_PORT_BASE}")
math(EXPR TALLIX_TEST_DOWNLOAD_PORT "${TALLIX_TEST_PORT_BASE} + 1")
math(EXPR TALLIX_TEST_STATISTICS_PORT "${TALLIX_TEST_PORT_BASE} + 2")
math(EXPR TALLIX_TEST_CLOSED_PORT "${TALLIX_TEST_PORT_BASE} + 9")

if(TALLIX_TEST_HOSTS)
  set(TALLIX_TEST_HOSTS_VALUE 1)
  set(TALLIX_MANIFEST_HOST_VALUE "http://127.0.0.1:${TALLIX_TEST_MANIFEST_PORT}")
  # The download host is reached by name, so that the retry through the download IP is a
  # different URL that still reaches the same loopback server.
  set(TALLIX_DOWNLOAD_HOST_VALUE "http://localhost:${TALLIX_TEST_DOWNLOAD_PORT}")
  set(TALLIX_DOWNLOAD_IP_VALUE "127.0.0.1")
  set(TALLIX_STATISTICS_HOST_VALUE "http://127.0.0.1:${TALLIX_TEST_STATISTICS_PORT}")
  # Short enough that a stalled download is given up and retried within a test.
  set(TALLIX_DOWNLOAD_WAIT_MS_VALUE 8000)
else()
  set(TALLIX_TEST_HOSTS_VALUE 0)
  set(TALLIX_MANIFEST_HOST_VALUE "${TALLIX_MANIFEST_HOST}")
  set(TALLIX_DOWNLOAD_HOST_VALUE "${TALLIX_DOWNLOAD_HOST}")
  set(TALLIX_DOWNLOAD_IP_VALUE "${TALLIX_DOWNLOAD_IP}")
  set(TALLIX_STATISTICS_HOST_VALUE "${TALLIX_STATISTICS_HOST}")
  # Twenty minutes for one package before it is retried or given up.
  set(TALLIX_DOWNLOAD_WAIT_MS_VALUE 1200000)
endif()

foreach(origin IN ITEMS TALLIX_MANIFEST_HOST_VALUE TALLIX_DOWNLOAD_HOST_VALUE
                        TALLIX_STATISTICS_HOST_VALUE)
  if(NOT ${origin} MATCHES "^http://[^/]+$")
    message(FATAL_ERROR "${origin} must be an http:// origin without a path: '${${origin}}'")
  endif()
endforeach()
if(NOT TALLIX_DOWNLOAD_IP_VALUE MATCHES "^[0-9]+\\.[0-9]+\\.[0-9]+\\.[0-9]+$")
  message(FATAL_ERROR "TALLIX_DOWNLOAD_IP must be a dotted IPv4 address: '${TALLIX_DOWNLOAD_IP_VALUE}'")
endif()
# The host name alone (no scheme, no port): the part of a download URL that the download IP
# replaces.
string(REGEX REPLACE "^http://([^/:]+).*$" "\\1" TALLIX_DOWNLOAD_HOST_NAME_VALUE
       "${TALLIX_DOWNLOAD_HOST_VALUE}")

configure_file(${CMAKE_SOURCE_DIR}/cmake/build_values.h.in
               ${CMAKE_BINARY_DIR}/generated/build_values.h @ONLY)
