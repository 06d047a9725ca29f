# Sanitizer builds, each in a tree of its own (make test-asan, make test-tsan):
#   address  AddressSanitizer with UndefinedBehaviorSanitizer; the first report ends the program.
#   thread   ThreadSanitizer.
# Qt comes from the system and is not instrumented. The runtime options, and the suppression files
# in tests/sanitizers that say what is tolerated from uninstrumented code, are set by the Makefile
# for the tests and for the programs they start.
#
# Built with clang, the address tree also builds the libFuzzer targets of tests/fuzz (make fuzz).

set(RUSHLET_SANITIZE "" CACHE STRING "Sanitizer build: empty, address or thread")
set_property(CACHE RUSHLET_SANITIZE PROPERTY STRINGS "" address thread)

set(RUSHLET_FUZZ OFF)
if(RUSHLET_SANITIZE STREQUAL "address")
    set(_rushlet_sanitize_flags -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
    if(CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
        set(RUSHLET_FUZZ ON)
    endif()
elseif(RUSHLET_SANITIZE STREQUAL "thread")
    set(_rushlet_sanitize_flags -fsanitize=thread -fno-omit-frame-pointer)
elseif(NOT RUSHLET_SANITIZE STREQUAL "")
    message(FATAL_ERROR "RUSHLET_SANITIZE must be empty, address or thread, not ${RUSHLET_SANITIZE}.")
endif()
if(_rushlet_sanitize_flags)
    # Line tables are all a report's stack needs, and compile far faster than full debug info.
    add_compile_options(${_rushlet_sanitize_flags} -O1 -gline-tables-only)
endif()
add_link_options(${_rushlet_sanitize_flags})
