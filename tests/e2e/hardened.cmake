# The updater with release keys that the scenarios run: the same code as tallix.exe, linked with
# three throwaway keys that the build makes (never kept in the repository) and a threshold of two,
# so that a release signed by any two of them is taken and a key can be lost or replaced.
set(TALLIX_RELEASE_KEYS_DIR ${CMAKE_BINARY_DIR}/release-keys)
set(tallix_test_release_keys)
foreach(name first second third)
  set(key ${TALLIX_RELEASE_KEYS_DIR}/${name})
  add_custom_command(
    OUTPUT ${key}.key ${key}.pub
    COMMAND ${CMAKE_COMMAND} -E make_directory ${TALLIX_RELEASE_KEYS_DIR}
    COMMAND openssl genpkey -algorithm RSA -pkeyopt rsa_keygen_bits:2048 -out ${key}.key
    COMMAND openssl pkey -in ${key}.key -pubout -out ${key}.pub
    COMMENT "Throwaway release key ${name}")
  list(APPEND tallix_test_release_keys ${key}.pub)
endforeach()

add_executable(tallix_hardened WIN32 ${CMAKE_SOURCE_DIR}/app/main_win.cpp
                                     ${CMAKE_SOURCE_DIR}/res/tallix.rc)
target_link_options(tallix_hardened PRIVATE -municode -Wl,--gc-sections $<$<CONFIG:Release>:-s>)
target_compile_options(tallix_hardened PRIVATE ${TALLIX_SIZE_FLAGS})
target_link_libraries(tallix_hardened PRIVATE tallix_win)
target_include_directories(tallix_hardened PRIVATE ${CMAKE_BINARY_DIR}/generated
                                                   ${CMAKE_SOURCE_DIR}/res)
set_target_properties(tallix_hardened PROPERTIES OUTPUT_NAME tallix
                      RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/e2e-hardened)
tallix_release_keys(TARGET tallix_hardened THRESHOLD 2 KEYS ${tallix_test_release_keys})

# It imports only system DLLs too.
add_test(NAME pe_imports_hardened
         COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tests/tools/check_pe.py
                 --objdump ${CMAKE_OBJDUMP} --gui --version ${PROJECT_VERSION}
                 $<TARGET_FILE:tallix_hardened>)

# Signatures made with the keys for the Windows test program's check of the system's
# cryptography (tests/win/release_crypto_test.cpp).
set(TALLIX_RELEASE_FIXTURES ${CMAKE_BINARY_DIR}/release-fixtures)
add_test(NAME release_fixtures
         COMMAND bash ${CMAKE_SOURCE_DIR}/tests/win/make_release_fixtures.sh
                 ${TALLIX_RELEASE_KEYS_DIR} ${TALLIX_RELEASE_FIXTURES})
set_tests_properties(release_fixtures PROPERTIES FIXTURES_SETUP release_fixtures TIMEOUT 60)
set_property(TEST ${TALLIX_WIN_TEST_RUNS} APPEND PROPERTY FIXTURES_REQUIRED release_fixtures)
set_property(TEST ${TALLIX_WIN_TEST_RUNS} APPEND PROPERTY ENVIRONMENT
             "TALLIX_RELEASE_FIXTURES=${TALLIX_RELEASE_FIXTURES}"
             "TALLIX_RELEASE_KEYS_DIR=${TALLIX_RELEASE_KEYS_DIR}")
