# End-to-end scenarios: the real tallix.exe under Wine against loopback servers and stub programs
# of the suite (a window that logs the records it receives, a probe that looks at the desktop).
add_executable(window_stub ${CMAKE_SOURCE_DIR}/tests/e2e/stubs/window_stub.cpp)
add_executable(probe ${CMAKE_SOURCE_DIR}/tests/e2e/stubs/probe.cpp)
foreach(stub window_stub probe)
  target_link_options(${stub} PRIVATE -municode ${TALLIX_STATIC_LINK})
  target_link_libraries(${stub} PRIVATE tallix_core)
  set_target_properties(${stub} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/e2e-stubs)
endforeach()

tallix_add_version_stub(FOLDER wardel-1.0.0.0 NAME wardel PRODUCT_VERSION 1.0.0.0)

# Running programs of the suite for the installing scenarios.
foreach(stub IN ITEMS "keldra;5.9.2.1" "keldra;5.9.2.2" "pinnace;2.1.0.0" "pinnace;2.1.0.1"
                      "pinnace;2.1.0.5" "wardel;1.0.0.0" "wardel;1.0.0.1" "keldrasetup;1.0.0.0")
  list(GET stub 0 stub_name)
  list(GET stub 1 stub_version)
  tallix_add_version_stub(FOLDER running-${stub_name}-${stub_version} NAME ${stub_name}
                          PRODUCT_VERSION ${stub_version} RUNNING)
endforeach()
tallix_add_version_stub(FOLDER running-locker NAME locker RUNNING)
tallix_add_version_stub(FOLDER tallix-3.2.0.16 NAME tallix PRODUCT_VERSION 3.2.0.16)
# The demo's current main program, for the machines the publisher's plan is compared on.
tallix_add_version_stub(FOLDER keldra-5.9.3.0 NAME keldra PRODUCT_VERSION 5.9.3.0)

# A newer build of the updater itself (its version one above the project's) for the self-update.
set(tallix_next_version
    "${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${PROJECT_VERSION_PATCH}")
math(EXPR tallix_next_tweak "${PROJECT_VERSION_TWEAK} + 1")
function(tallix_configure_next_version)
  set(PROJECT_VERSION_TWEAK ${tallix_next_tweak})
  set(PROJECT_VERSION "${tallix_next_version}.${tallix_next_tweak}")
  configure_file(${CMAKE_SOURCE_DIR}/cmake/build_values.h.in
                 ${CMAKE_BINARY_DIR}/generated/next/build_values.h @ONLY)
endfunction()
tallix_configure_next_version()
set(TALLIX_NEXT_VERSION "${tallix_next_version}.${tallix_next_tweak}")
add_executable(tallix_next WIN32 ${CMAKE_SOURCE_DIR}/app/main_win.cpp
                                 ${CMAKE_SOURCE_DIR}/res/tallix.rc)
target_link_options(tallix_next PRIVATE -municode)
target_link_libraries(tallix_next PRIVATE tallix_win)
# The version header of the resource script is the one above, found before the project's own.
target_include_directories(tallix_next BEFORE PRIVATE ${CMAKE_BINARY_DIR}/generated/next
                                                      ${CMAKE_SOURCE_DIR}/res)
set_target_properties(tallix_next PROPERTIES OUTPUT_NAME tallix
                      RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/e2e-next)

# The updater with release keys (tests/e2e/hardened.cmake).
include(${CMAKE_SOURCE_DIR}/tests/e2e/hardened.cmake)

add_custom_target(e2e_programs ALL DEPENDS tallix tallix_next tallix_hardened window_stub probe
                                           ${TALLIX_STUB_TARGETS})

# One test per scenario file (scenarios*.py). The WOW64 scenarios need a 32-bit updater: a tree
# of 64-bit programs does not list them, rather than pass them all as skipped.
file(GLOB tallix_scenario_files CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/e2e/scenarios*.py)
if(CMAKE_SYSTEM_PROCESSOR STREQUAL "x86_64")
  list(REMOVE_ITEM tallix_scenario_files ${CMAKE_SOURCE_DIR}/tests/e2e/scenarios_wow64.py)
endif()
foreach(file IN LISTS tallix_scenario_files)
  get_filename_component(name ${file} NAME_WE)
  add_test(NAME e2e_${name} COMMAND ${Python3_EXECUTABLE} ${file})
  set_tests_properties(e2e_${name} PROPERTIES
    ENVIRONMENT "TALLIX_BUILD_DIR=${CMAKE_BINARY_DIR};TALLIX_EXE=$<TARGET_FILE:tallix>;TALLIX_PROBE=$<TARGET_FILE:probe>;TALLIX_WINDOW_STUB=$<TARGET_FILE:window_stub>;TALLIX_STUBS_DIR=${TALLIX_STUBS_DIR};TALLIX_SERVER_SCRIPT=${TALLIX_SERVER_SCRIPT};TALLIX_SERVER_PORTS=${TALLIX_TEST_MANIFEST_PORT},${TALLIX_TEST_DOWNLOAD_PORT},${TALLIX_TEST_STATISTICS_PORT};TALLIX_VERSION=${PROJECT_VERSION};TALLIX_NEXT_EXE=$<TARGET_FILE:tallix_next>;TALLIX_NEXT_VERSION=${TALLIX_NEXT_VERSION};TALLIX_SCRIPTS=${CMAKE_SOURCE_DIR}/scripts;TALLIX_PUBLISH=${CMAKE_SOURCE_DIR}/build/native/tallix-publish;TALLIX_HARDENED_EXE=$<TARGET_FILE:tallix_hardened>;TALLIX_RELEASE_KEYS_DIR=${TALLIX_RELEASE_KEYS_DIR}"
    # The scenarios start servers of their own on the test ports.
    DEPENDS loopback_server_stop
    TIMEOUT 900)
endforeach()
