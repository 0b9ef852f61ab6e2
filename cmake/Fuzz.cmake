# Fuzz tree: every parser of outside bytes as a libFuzzer target, built with clang under
# AddressSanitizer and UndefinedBehaviorSanitizer. Each target is also a test that replays its
# corpus (tests/fuzz/corpus/<target>) once; scripts/fuzz.sh runs the long, searching runs.
if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
  message(FATAL_ERROR "the fuzz tree needs clang (scripts/configure.sh fuzz chooses it)")
endif()

set(TALLIX_FUZZ_FLAGS -fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all
                      -fno-omit-frame-pointer)
target_compile_options(tallix_core PRIVATE ${TALLIX_FUZZ_FLAGS})

# The publisher's readers: the tool's library built with the same flags; the targets named
# fuzz_publish_* link it.
set(TALLIX_SANITIZE ${TALLIX_FUZZ_FLAGS})
include(${CMAKE_SOURCE_DIR}/tools/publish/publish.cmake)

file(GLOB TALLIX_FUZZ_TARGETS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/fuzz/fuzz_*.cpp)
foreach(src IN LISTS TALLIX_FUZZ_TARGETS)
  get_filename_component(name ${src} NAME_WE)
  add_executable(${name} ${src})
  target_compile_options(${name} PRIVATE ${TALLIX_FUZZ_FLAGS})
  target_link_options(${name} PRIVATE -fsanitize=fuzzer,address,undefined)
  target_link_libraries(${name} PRIVATE tallix_core)
  if(name MATCHES "^fuzz_publish_")
    target_link_libraries(${name} PRIVATE publish_core)
  endif()
  # Replay only: every input of the corpus once, then stop.
  add_test(NAME ${name}_corpus
           COMMAND ${name} -runs=0 ${CMAKE_SOURCE_DIR}/tests/fuzz/corpus/${name})
  set_tests_properties(${name}_corpus PROPERTIES FAIL_REGULAR_EXPRESSION "ERROR: |runtime error")
endforeach()
