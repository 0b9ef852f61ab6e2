# Windows trees: the 32-bit release, and the same build with the test hosts that runs under Wine
# (an x86_64 one with the same hosts where the machine cannot run 32-bit programs).
set(CMAKE_RC_FLAGS "-c 65001")  # .rc files are UTF-8
enable_language(RC)

# Only DLLs that every Windows has: the C and C++ runtimes are linked in statically.
set(TALLIX_SYSTEM_LIBS
    user32 gdi32 gdiplus comctl32 ole32 oleaut32 uuid shell32 shlwapi advapi32 version
    wininet crypt32 iphlpapi uxtheme urlmon
    mprapi)
set(TALLIX_STATIC_LINK -static -static-libgcc -static-libstdc++)

target_compile_definitions(tallix_core PUBLIC UNICODE _UNICODE NOMINMAX WIN32_LEAN_AND_MEAN
                                              _WIN32_WINNT=0x0601)

# Size of the shipped executable (it is downloaded by every machine of the suite): optimise for
# size, put every function and datum in a section of its own so that the linker drops what nothing
# calls, and build the product code without exception tables: it handles failures in place and
# never throws or catches (an allocation failure inside the C++ library still ends the process,
# as before), and without run-time type information (the type records of every class with virtual
# functions and of every function object): nothing in the product asks for it, and the compiler
# refuses any use. The Wine test tree uses the same flags, so the tests run the code that ships;
# its test program and GoogleTest are built without type information too (their fakes derive from
# the product's interfaces, whose type records do not exist).
set(CMAKE_C_FLAGS_RELEASE "-Os -DNDEBUG")
set(CMAKE_CXX_FLAGS_RELEASE "-Os -DNDEBUG")
set(TALLIX_SIZE_FLAGS -ffunction-sections -fdata-sections -fno-exceptions
                      -fno-asynchronous-unwind-tables -fno-rtti)
target_compile_options(tallix_core PRIVATE ${TALLIX_SIZE_FLAGS})

add_library(tallix_win STATIC ${TALLIX_WIN_SOURCES})
target_link_libraries(tallix_win PUBLIC tallix_core ${TALLIX_SYSTEM_LIBS})
target_compile_options(tallix_win PRIVATE ${TALLIX_SIZE_FLAGS})
target_link_options(tallix_win PUBLIC ${TALLIX_STATIC_LINK})

# The resource scripts take in the skin images, the page template and the icon: a redrawn skin
# rebuilds them.
file(GLOB TALLIX_SKIN_FILES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/res/skin/*.png)
set_source_files_properties(${CMAKE_SOURCE_DIR}/res/tallix.rc ${CMAKE_SOURCE_DIR}/res/skin.rc
  PROPERTIES OBJECT_DEPENDS
  "${TALLIX_SKIN_FILES};${CMAKE_SOURCE_DIR}/res/history.html;${CMAKE_SOURCE_DIR}/res/tallix.ico;${CMAKE_SOURCE_DIR}/res/skin.rc")

add_executable(tallix WIN32 ${CMAKE_SOURCE_DIR}/app/main_win.cpp ${CMAKE_SOURCE_DIR}/res/tallix.rc)
target_link_options(tallix PRIVATE -municode -Wl,--gc-sections $<$<CONFIG:Release>:-s>)
target_compile_options(tallix PRIVATE ${TALLIX_SIZE_FLAGS})
target_link_libraries(tallix PRIVATE tallix_win)
set_target_properties(tallix PROPERTIES OUTPUT_NAME tallix)
# The resource script reads the generated version header.
target_include_directories(tallix PRIVATE ${CMAKE_BINARY_DIR}/generated ${CMAKE_SOURCE_DIR}/res)
# With release keys named, the shipped executable requires a signed release index.
include(${CMAKE_SOURCE_DIR}/cmake/ReleaseKeys.cmake)
if(TALLIX_RELEASE_KEYS)
  tallix_release_keys(TARGET tallix THRESHOLD ${TALLIX_RELEASE_KEY_THRESHOLD}
                      KEYS ${TALLIX_RELEASE_KEYS})
endif()

# Import table and version resource of the shipped executable, checked without running it.
find_package(Python3 REQUIRED COMPONENTS Interpreter)
# The release and its test build are 32-bit and within the release's size budget of 450 KiB; a
# build with release keys adds its keys' bytes.
set(TALLIX_PE_RULES)
if(NOT CMAKE_SYSTEM_PROCESSOR STREQUAL "x86_64")
  set(tallix_budget 460800)
  if(TALLIX_RELEASE_KEYS)
    tallix_release_keys_size(tallix_keys_size ${TALLIX_RELEASE_KEYS})
    math(EXPR tallix_budget "${tallix_budget} + ${tallix_keys_size}")
  endif()
  set(TALLIX_PE_RULES --machine i386 --max-size ${tallix_budget})
endif()
add_test(NAME pe_imports_and_version
         COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tests/tools/check_pe.py
                 --objdump ${CMAKE_OBJDUMP} --gui --version ${PROJECT_VERSION}
                 ${TALLIX_PE_RULES} $<TARGET_FILE:tallix>)

# Everything below runs under Wine, in the tree whose hosts are loopback addresses.
if(NOT TALLIX_TEST_HOSTS)
  return()
endif()

set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_SOURCE_DIR}/scripts/wine-run.sh ${CMAKE_BINARY_DIR})

# GoogleTest built from Debian's sources with the same toolchain, and like every test program of
# this tree without type information (see above).
add_compile_options($<$<COMPILE_LANGUAGE:CXX>:-fno-rtti>)
set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

file(GLOB TALLIX_WIN_TESTS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/win/*.cpp)
# The test program carries the same version resource, so the error box shows the real version.
add_executable(tallix_win_tests ${TALLIX_WIN_TESTS} ${CMAKE_SOURCE_DIR}/res/version.rc)
target_include_directories(tallix_win_tests PRIVATE ${CMAKE_BINARY_DIR}/generated)
# The skin images, the page template and the companion dialogs, for the painting tests.
target_sources(tallix_win_tests PRIVATE ${CMAKE_SOURCE_DIR}/res/skin.rc)
target_include_directories(tallix_win_tests PRIVATE ${CMAKE_SOURCE_DIR}/res)
target_link_options(tallix_win_tests PRIVATE -municode)
target_link_libraries(tallix_win_tests PRIVATE tallix_win gtest)
add_dependencies(tallix_win_tests tallix)
# The tests that fill a disk (SmallDisk.*) run apart, below.
add_test(NAME win_tests COMMAND tallix_win_tests --gtest_filter=-SmallDisk.*)
# A 32-bit program runs under WOW64 in the tree's prefix. The same program also runs on a plain
# 32-bit system (a prefix of its own), where every lookup that depends on WOW64 takes its other
# branch.
set(TALLIX_WIN_TEST_RUNS win_tests)
if(CMAKE_SYSTEM_PROCESSOR STREQUAL "x86_64")
  set_tests_properties(win_tests PROPERTIES ENVIRONMENT "TALLIX_EXPECT_WOW64=0")
else()
  set_tests_properties(win_tests PROPERTIES ENVIRONMENT "TALLIX_EXPECT_WOW64=1")
  add_test(NAME win_tests_without_wow64 COMMAND tallix_win_tests --gtest_filter=-SmallDisk.*)
  set_tests_properties(win_tests_without_wow64 PROPERTIES
                       ENVIRONMENT "TALLIX_EXPECT_WOW64=0;TALLIX_WINEARCH=win32")
  list(APPEND TALLIX_WIN_TEST_RUNS win_tests_without_wow64)
endif()

# Stand-ins for the suite's programs with chosen version resources (tests/stubs/stubs.cmake).
include(${CMAKE_SOURCE_DIR}/tests/stubs/stubs.cmake)
add_dependencies(tallix_win_tests ${TALLIX_STUB_TARGETS})

# The loopback server that stands in for the manifest, download and statistics servers: started
# before the tests that need it and stopped after them (a CTest fixture). It listens on the ports
# that a TALLIX_TEST_HOSTS build is made for, serves the files of its root folder (which the tests
# fill) and logs every request. Hosts that are down: the closed port (base + 9), a "*" rule that
# drops every connection, or a test that does not require the fixture.
set(TALLIX_SERVER_SCRIPT ${CMAKE_SOURCE_DIR}/tests/servers/loopback_server.py)
set(TALLIX_SERVER_STATE ${CMAKE_BINARY_DIR}/servers)
set(TALLIX_SERVER_ROOT ${TALLIX_SERVER_STATE}/root)
add_test(NAME loopback_server_start
         COMMAND ${Python3_EXECUTABLE} ${TALLIX_SERVER_SCRIPT} start
                 --state-dir ${TALLIX_SERVER_STATE} --root ${TALLIX_SERVER_ROOT}
                 --port ${TALLIX_TEST_MANIFEST_PORT} --port ${TALLIX_TEST_DOWNLOAD_PORT}
                 --port ${TALLIX_TEST_STATISTICS_PORT})
add_test(NAME loopback_server_stop
         COMMAND ${Python3_EXECUTABLE} ${TALLIX_SERVER_SCRIPT} stop
                 --state-dir ${TALLIX_SERVER_STATE})
add_test(NAME loopback_server_self_test
         COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tests/servers/loopback_server_test.py)
set_tests_properties(loopback_server_self_test PROPERTIES TIMEOUT 60)
set_tests_properties(loopback_server_start PROPERTIES FIXTURES_SETUP loopback_server TIMEOUT 30)
set_tests_properties(loopback_server_stop PROPERTIES FIXTURES_CLEANUP loopback_server TIMEOUT 30)

set(TALLIX_WIN_TEST_ENVIRONMENT
    "TALLIX_EXE=$<TARGET_FILE:tallix>"
    "TALLIX_VERSION=${PROJECT_VERSION}"
    "TALLIX_STUBS_DIR=${TALLIX_STUBS_DIR}"
    "TALLIX_SERVER_ROOT=${TALLIX_SERVER_ROOT}"
    "TALLIX_SERVER_LOG=${TALLIX_SERVER_STATE}/requests.jsonl"
    "TALLIX_SERVER_ORIGIN=http://127.0.0.1:${TALLIX_TEST_MANIFEST_PORT}"
    "TALLIX_CLOSED_ORIGIN=http://127.0.0.1:${TALLIX_TEST_CLOSED_PORT}")
set_property(TEST ${TALLIX_WIN_TEST_RUNS} APPEND PROPERTY ENVIRONMENT ${TALLIX_WIN_TEST_ENVIRONMENT})
set_tests_properties(${TALLIX_WIN_TEST_RUNS} PROPERTIES FIXTURES_REQUIRED loopback_server TIMEOUT 300)
# Signed copies of a stub program for the signer check, made with throwaway certificates for every
# run (scripts/make-signature-fixtures.sh).
set(TALLIX_SIGNING_DIR ${CMAKE_BINARY_DIR}/signing)
add_test(NAME signature_fixtures
         COMMAND bash ${CMAKE_SOURCE_DIR}/scripts/make-signature-fixtures.sh ${TALLIX_SIGNING_DIR}
                 ${TALLIX_STUBS_DIR}/keldra-6.0.0.1/keldra.exe)
set_tests_properties(signature_fixtures PROPERTIES FIXTURES_SETUP signature_fixtures TIMEOUT 60)
set_property(TEST ${TALLIX_WIN_TEST_RUNS} APPEND PROPERTY FIXTURES_REQUIRED signature_fixtures)
set_property(TEST ${TALLIX_WIN_TEST_RUNS} APPEND PROPERTY
             ENVIRONMENT "TALLIX_SIGNING_DIR=${TALLIX_SIGNING_DIR}")
# A disk that fills: a 1 MiB tmpfs mounted on small-disk/ for the tests that write to it
# (tests/tools/small_disk.py). Mounting needs root; where it is not allowed the mount fails, and
# with it these tests: they are never skipped.
set(TALLIX_SMALL_DISK ${CMAKE_BINARY_DIR}/small-disk)
set(TALLIX_SMALL_DISK_SCRIPT ${CMAKE_SOURCE_DIR}/tests/tools/small_disk.py)
add_test(NAME small_disk_mount
         COMMAND ${Python3_EXECUTABLE} ${TALLIX_SMALL_DISK_SCRIPT} mount ${TALLIX_SMALL_DISK} 1048576)
add_test(NAME small_disk_unmount
         COMMAND ${Python3_EXECUTABLE} ${TALLIX_SMALL_DISK_SCRIPT} unmount ${TALLIX_SMALL_DISK})
set_tests_properties(small_disk_mount PROPERTIES FIXTURES_SETUP small_disk TIMEOUT 30)
set_tests_properties(small_disk_unmount PROPERTIES FIXTURES_CLEANUP small_disk TIMEOUT 30)
add_test(NAME win_tests_small_disk COMMAND tallix_win_tests --gtest_filter=SmallDisk.*)
set_tests_properties(win_tests_small_disk PROPERTIES
  ENVIRONMENT "${TALLIX_WIN_TEST_ENVIRONMENT};TALLIX_SMALL_DISK=${TALLIX_SMALL_DISK}"
  FIXTURES_REQUIRED "loopback_server;small_disk"
  TIMEOUT 120)
include(${CMAKE_SOURCE_DIR}/tests/e2e/e2e.cmake)

# The downloader's benchmark (scripts/bench-download.sh runs it under Wine; not a test).
add_executable(download_bench ${CMAKE_SOURCE_DIR}/tests/bench/download_bench.cpp)
target_link_options(download_bench PRIVATE -municode)
target_link_libraries(download_bench PRIVATE tallix_win)
# The yardstick of the quiet check and the memory observer (scripts/bench-quiet-check.sh and
# scripts/bench-memory.sh; not tests).
add_executable(fetch_three ${CMAKE_SOURCE_DIR}/tests/bench/fetch_three.cpp)
target_link_options(fetch_three PRIVATE -municode ${TALLIX_STATIC_LINK})
target_link_libraries(fetch_three PRIVATE wininet tallix_warnings)
add_executable(memory_observer ${CMAKE_SOURCE_DIR}/tests/bench/memory_observer.cpp)
target_link_options(memory_observer PRIVATE -municode ${TALLIX_STATIC_LINK})
target_link_libraries(memory_observer PRIVATE psapi tallix_warnings)
set_target_properties(fetch_three memory_observer PROPERTIES EXCLUDE_FROM_ALL ON)
