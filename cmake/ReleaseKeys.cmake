# The build with release keys. TALLIX_RELEASE_KEYS names the publisher's public keys (PEM files);
# with any, the shipped tallix.exe accepts a release only through a release index signed by at
# least TALLIX_RELEASE_KEY_THRESHOLD of them. Without keys the executable is built as before, and
# the check's code is not linked into it.
set(TALLIX_RELEASE_KEYS "" CACHE STRING
    "Public keys (PEM files, separated by ;) whose signed release index the updater requires")
set(TALLIX_RELEASE_KEY_THRESHOLD 1 CACHE STRING
    "How many of TALLIX_RELEASE_KEYS must have signed a release index")

# tallix_release_keys(TARGET <executable> THRESHOLD <n> KEYS <public key PEM>...)
# Links <executable> as an updater with release keys: a source generated from the keys (at build
# time, so that keys made by the build itself can be named) defines the executable's release
# check.
function(tallix_release_keys)
  cmake_parse_arguments(RK "" "TARGET;THRESHOLD" "KEYS" ${ARGN})
  list(LENGTH RK_KEYS count)
  if(count EQUAL 0 OR NOT RK_THRESHOLD MATCHES "^[1-9][0-9]*$" OR RK_THRESHOLD GREATER count)
    message(FATAL_ERROR "${RK_TARGET}: the threshold (${RK_THRESHOLD}) must be at least 1 and at "
                        "most the number of release keys (${count})")
  endif()
  set(source ${CMAKE_BINARY_DIR}/generated/release_keys_${RK_TARGET}.cpp)
  string(REPLACE ";" "|" keys "${RK_KEYS}")  # one argument for the script
  add_custom_command(
    OUTPUT ${source}
    COMMAND ${CMAKE_COMMAND} "-DOUT=${source}" "-DTHRESHOLD=${RK_THRESHOLD}" "-DKEYS=${keys}"
            -P ${CMAKE_SOURCE_DIR}/cmake/release_keys_source.cmake
    DEPENDS ${RK_KEYS} ${CMAKE_SOURCE_DIR}/cmake/release_keys_source.cmake
    COMMENT "Release keys of ${RK_TARGET}"
    VERBATIM)
  target_sources(${RK_TARGET} PRIVATE ${source})
endfunction()

# tallix_release_keys_size(<variable> <public key PEM>...)
# The bytes the keys take in the executable (their DER), rounded up to the file's 512-byte
# blocks: the size budget covers the program, and a build with release keys adds its keys to it.
function(tallix_release_keys_size variable)
  set(total 0)
  foreach(key IN LISTS ARGN)
    file(READ "${key}" pem)
    string(REGEX REPLACE "-----[A-Z ]+-----|[\r\n]" "" base64 "${pem}")
    string(LENGTH "${base64}" digits)
    string(REGEX REPLACE "[^=]" "" padding "${base64}")
    string(LENGTH "${padding}" padding)
    math(EXPR total "${total} + ${digits} / 4 * 3 - ${padding}")
  endforeach()
  math(EXPR total "(${total} + 511) / 512 * 512")
  set(${variable} ${total} PARENT_SCOPE)
endfunction()
