# End-to-end scenarios: the real tallix.exe under Wine against loopback servers and stub programs
# of the suite (a window that logs the records it receives, and a probe that looks at the desktop
# and acts on it).
add_executable(window_stub ${CMAKE_SOURCE_DIR}/tests/e2e/stubs/window_stub.cpp)
add_executable(probe ${CMAKE_SOURCE_DIR}/tests/e2e/stubs/probe.cpp)
foreach(stub window_stub probe)
  target_link_options(${stub} PRIVATE -municode)
  target_link_libraries(${stub} PRIVATE tallix_core)
  target_link_options(${stub} PRIVATE ${TALLIX_STATIC_LINK})
  set_target_properties(${stub} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/e2e-stubs)
endforeach()

tallix_add_version_stub(FOLDER wardel-1.0.0.0 NAME wardel PRODUCT_VERSION 1.0.0.0)

add_custom_target(e2e_programs ALL DEPENDS tallix window_stub probe ${TALLIX_STUB_TARGETS})

# One test per scenario file (scenarios*.py), so that each area of the updater keeps its own.
file(GLOB tallix_scenario_files CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/e2e/scenarios*.py)
foreach(file IN LISTS tallix_scenario_files)
  get_filename_component(name ${file} NAME_WE)
  add_test(NAME e2e_${name} COMMAND ${Python3_EXECUTABLE} ${file})
  set_tests_properties(e2e_${name} PROPERTIES
    ENVIRONMENT "TALLIX_BUILD_DIR=${CMAKE_BINARY_DIR};TALLIX_EXE=$<TARGET_FILE:tallix>;TALLIX_PROBE=$<TARGET_FILE:probe>;TALLIX_WINDOW_STUB=$<TARGET_FILE:window_stub>;TALLIX_STUBS_DIR=${TALLIX_STUBS_DIR};TALLIX_SERVER_SCRIPT=${TALLIX_SERVER_SCRIPT};TALLIX_SERVER_PORTS=${TALLIX_TEST_MANIFEST_PORT},${TALLIX_TEST_DOWNLOAD_PORT},${TALLIX_TEST_STATISTICS_PORT};TALLIX_VERSION=${PROJECT_VERSION}"
    # The scenarios start servers of their own on the test ports.
    DEPENDS loopback_server_stop
    TIMEOUT 900)
endforeach()
