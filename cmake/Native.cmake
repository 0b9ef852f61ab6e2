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
