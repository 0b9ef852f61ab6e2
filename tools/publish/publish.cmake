# The publisher's tool, tallix-publish: built in the native tree from the updater's portable code
# and the libraries that stand in for the system's services (pugixml for the XML component,
# SQLite for the report store, libcurl for the ClickHouse store's HTTP, OpenSSL for reading
# signatures and keying reports). TALLIX_SANITIZE holds the flags of the tree: the sanitizers in
# the native tree, the fuzzer's in the fuzz tree.
find_package(pugixml REQUIRED)
find_package(SQLite3 REQUIRED)
find_package(OpenSSL REQUIRED)
find_package(CURL REQUIRED)

file(GLOB TALLIX_PUBLISH_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tools/publish/*.cpp)
list(REMOVE_ITEM TALLIX_PUBLISH_SOURCES ${CMAKE_SOURCE_DIR}/tools/publish/publish_main.cpp)
add_library(publish_core STATIC ${TALLIX_PUBLISH_SOURCES} ${CMAKE_SOURCE_DIR}/tools/code_page.cpp)
target_compile_options(publish_core PRIVATE ${TALLIX_SANITIZE})
target_link_libraries(publish_core PUBLIC tallix_core pugixml::pugixml SQLite::SQLite3 OpenSSL::Crypto
                      CURL::libcurl)

# The fuzz tree builds the library only, for the fuzz targets of the publisher's readers.
if(TALLIX_FUZZ)
  return()
endif()

add_executable(tallix-publish ${CMAKE_SOURCE_DIR}/tools/publish/publish_main.cpp)
target_compile_options(tallix-publish PRIVATE ${TALLIX_SANITIZE})
target_link_libraries(tallix-publish PRIVATE publish_core)

file(GLOB TALLIX_PUBLISH_TESTS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/publish/*.cpp)
add_executable(tallix_publish_tests ${TALLIX_PUBLISH_TESTS})
target_compile_options(tallix_publish_tests PRIVATE ${TALLIX_SANITIZE})
target_link_libraries(tallix_publish_tests PRIVATE publish_core GTest::gtest_main)
# The example machines of demo/profiles are read where they are.
target_compile_definitions(tallix_publish_tests PRIVATE TALLIX_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
gtest_discover_tests(tallix_publish_tests DISCOVERY_TIMEOUT 60)

# The statistics page in headless Chromium: its charts against the text summaries, and a
# screenshot to look at (build/native/stats-page/stats.png).
find_package(Python3 REQUIRED COMPONENTS Interpreter)
add_executable(report_log ${CMAKE_SOURCE_DIR}/tests/bench/report_log.cpp
                          ${CMAKE_SOURCE_DIR}/tests/publish/synthetic_log.cpp)
target_compile_options(report_log PRIVATE ${TALLIX_SANITIZE})
target_link_libraries(report_log PRIVATE publish_core)
add_executable(summary_times ${CMAKE_SOURCE_DIR}/tests/bench/summary_times.cpp)
target_compile_options(summary_times PRIVATE ${TALLIX_SANITIZE})
target_link_libraries(summary_times PRIVATE publish_core)
add_test(NAME stats_page_in_chromium
         COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tests/publish/stats_page_test.py
                 $<TARGET_FILE:tallix-publish> $<TARGET_FILE:report_log>
                 ${CMAKE_BINARY_DIR}/stats-page)

# Both publisher's programs as they are run: command-line conventions, manifests over HTTP,
# output safe on a terminal, strict JSON, packages and manifests of programs signed at test time.
add_test(NAME publish_cli COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tests/publish/cli_test.py)
set_tests_properties(publish_cli PROPERTIES ENVIRONMENT
  "TALLIX_PUBLISH=$<TARGET_FILE:tallix-publish>;REPORT_DECODER=$<TARGET_FILE:report_decoder>")

# The ClickHouse store against real servers that the test starts and stops: one server, then two
# as the shards of a cluster (tests/publish/clickhouse_test.py).
foreach(mode one shards)
  add_test(NAME stats_clickhouse_${mode}
           COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tests/publish/clickhouse_test.py
                   ${mode} $<TARGET_FILE:tallix-publish> $<TARGET_FILE:report_log>
                   ${CMAKE_BINARY_DIR}/stats-clickhouse-${mode})
endforeach()
