# Stand-ins for the suite's programs with chosen version resources, for the Windows tests. Each
# stub is built into a folder of its own below ${TALLIX_STUBS_DIR}, so that several stubs of one
# name can exist side by side and a test can use a stub's folder as a suite directory:
#   ${TALLIX_STUBS_DIR}/<FOLDER>/<NAME>.exe

set(TALLIX_STUBS_DIR ${CMAKE_BINARY_DIR}/stubs)
set(TALLIX_STUB_TARGETS)

# tallix_add_version_stub(FOLDER <folder> NAME <name>
#                         [PRODUCT_VERSION a.b.c.d [FILE_VERSION a.b.c.d]] [RUNNING])
# Without PRODUCT_VERSION the executable has no version resource at all. FILE_VERSION defaults to
# the product version. Every stub is tests/stubs/suite_program.c, which ends at once unless side
# files make it keep running; RUNNING builds it as a GUI program (no console window of its own).
function(tallix_add_version_stub)
  cmake_parse_arguments(STUB "RUNNING" "FOLDER;NAME;PRODUCT_VERSION;FILE_VERSION" "" ${ARGN})
  string(MAKE_C_IDENTIFIER "stub_${STUB_FOLDER}_${STUB_NAME}" target)
  set(sources ${CMAKE_SOURCE_DIR}/tests/stubs/suite_program.c)
  if(STUB_PRODUCT_VERSION)
    if(NOT STUB_FILE_VERSION)
      set(STUB_FILE_VERSION ${STUB_PRODUCT_VERSION})
    endif()
    foreach(which PRODUCT FILE)
      if(NOT STUB_${which}_VERSION MATCHES "^[0-9]+\\.[0-9]+\\.[0-9]+\\.[0-9]+$")
        message(FATAL_ERROR "stub ${STUB_FOLDER}/${STUB_NAME}: bad version '${STUB_${which}_VERSION}'")
      endif()
      string(REPLACE "." "," STUB_${which}_VERSION_COMMAS ${STUB_${which}_VERSION})
    endforeach()
    # The product name as a program shows it: "pinnace" is "Pinnace".
    string(SUBSTRING ${STUB_NAME} 0 1 initial)
    string(SUBSTRING ${STUB_NAME} 1 -1 rest)
    string(TOUPPER ${initial} initial)
    set(STUB_PRODUCT_NAME "${initial}${rest}")
    set(rc ${CMAKE_BINARY_DIR}/generated/stubs/${target}.rc)
    configure_file(${CMAKE_SOURCE_DIR}/tests/stubs/stub_version.rc.in ${rc} @ONLY)
    list(APPEND sources ${rc})
  endif()
  add_executable(${target} ${sources})
  target_link_options(${target} PRIVATE -static -s)
  target_link_libraries(${target} PRIVATE version)
  if(STUB_RUNNING)
    # A GUI program: started by the updater it gets no console window of its own.
    target_link_options(${target} PRIVATE -mwindows)
  endif()
  set_target_properties(${target} PROPERTIES
    OUTPUT_NAME ${STUB_NAME}
    RUNTIME_OUTPUT_DIRECTORY ${TALLIX_STUBS_DIR}/${STUB_FOLDER})
  set(TALLIX_STUB_TARGETS ${TALLIX_STUB_TARGETS} ${target} PARENT_SCOPE)
endfunction()

# Main programs on both sides of the version-6 line. The file version differs from the product
# version on purpose: only the product version counts.
tallix_add_version_stub(FOLDER keldra-5.9.2.1 NAME keldra PRODUCT_VERSION 5.9.2.1 FILE_VERSION 7.0.0.0)
tallix_add_version_stub(FOLDER keldra-6.0.0.0 NAME keldra PRODUCT_VERSION 6.0.0.0 FILE_VERSION 6.0.0.9)
tallix_add_version_stub(FOLDER keldra-6.0.0.1 NAME keldra PRODUCT_VERSION 6.0.0.1 FILE_VERSION 1.0.0.0)
tallix_add_version_stub(FOLDER keldra-6.10.0.0 NAME keldra PRODUCT_VERSION 6.10.0.0)
tallix_add_version_stub(FOLDER keldra-unversioned NAME keldra)

# The suite and calendar folders of the update-decision tests. The file versions are newer than
# anything offered, so that reading them instead of the product version changes the outcome.
tallix_add_version_stub(FOLDER tallix-3.2.0.17 NAME tallix PRODUCT_VERSION 3.2.0.17 FILE_VERSION 3.2.0.99)
tallix_add_version_stub(FOLDER fennick-1.0.0.0 NAME fennick PRODUCT_VERSION 1.0.0.0 FILE_VERSION 1.0.0.9)
tallix_add_version_stub(FOLDER pinnace-2.1.0.0 NAME pinnace PRODUCT_VERSION 2.1.0.0 FILE_VERSION 2.9.0.0)
tallix_add_version_stub(FOLDER dayloom-3.0.0.1 NAME dayloom PRODUCT_VERSION 3.0.0.1 FILE_VERSION 3.0.0.0)
