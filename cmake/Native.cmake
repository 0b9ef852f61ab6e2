# Native tree: the portable libraries and their unit tests, under AddressSanitizer and
# UndefinedBehaviorSanitizer.
find_package(GTest REQUIRED)
include(GoogleTest)

set(TALLIX_SANITIZE -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
target_compile_options(tallix_core PRIVATE ${TALLIX_SANITIZE})
target_link_options(tallix_core PUBLIC ${TALLIX_SANITIZE})

file(GLOB TALLIX_NATIVE_TESTS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/native/*.cpp)
add_executable(tallix_native_tests ${TALLIX_NATIVE_TESTS})
target_compile_options(tallix_native_tests PRIVATE ${TALLIX_SANITIZE})
target_link_libraries(tallix_native_tests PRIVATE tallix_core GTest::gtest_main)
gtest_discover_tests(tallix_native_tests DISCOVERY_TIMEOUT 60)

# The publisher's decoder of the usage reports that reach the statistics host.
add_executable(report_decoder ${CMAKE_SOURCE_DIR}/tools/report_decoder.cpp
                              ${CMAKE_SOURCE_DIR}/tools/code_page.cpp
                              ${CMAKE_SOURCE_DIR}/tools/publish/log_lines.cpp
                              ${CMAKE_SOURCE_DIR}/tools/publish/output.cpp)
target_compile_options(report_decoder PRIVATE ${TALLIX_SANITIZE})
target_link_libraries(report_decoder PRIVATE tallix_core)
# Bad input gives a clear message and exit status 1, not a crash.
add_test(NAME report_decoder_refuses_bad_input
         COMMAND sh -c "\"$<TARGET_FILE:report_decoder>\" 'http://127.0.0.1/receive/tallix.aspx?uid=ABC&v=1&s=0&e=0&a=hijactcontent:;filecontent:;&r=1' 2>&1; echo exit=$?")
set_tests_properties(report_decoder_refuses_bad_input PROPERTIES
  PASS_REGULAR_EXPRESSION "report_decoder: uid is not whole 8-byte blocks of hexadecimal digits\nexit=1")
include(${CMAKE_SOURCE_DIR}/tools/publish/publish.cmake)

# The program's folders include only from the folders below them.
find_package(Python3 REQUIRED COMPONENTS Interpreter)
add_test(NAME layers_include_only_downwards
         COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tests/tools/check_layers.py ${CMAKE_SOURCE_DIR})
# Every test that SECURITY.md names exists.
add_test(NAME security_table_names_existing_tests
         COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tests/tools/check_security_tests.py
                 ${CMAKE_SOURCE_DIR})
