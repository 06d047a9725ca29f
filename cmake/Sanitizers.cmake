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

# ThreadSanitizer's clone() cannot follow QProcess's vfork-style children; every program of the
# thread tree carries a clone() that bypasses it (tests/sanitizers/CloneWithoutThreadSanitizer.cpp).
# Called once every target exists.
function(rushlet_add_sanitizer_shims)
    if(NOT RUSHLET_SANITIZE STREQUAL "thread")
        return()
    endif()
    add_library(rushlet_tsan_clone OBJECT ${PROJECT_SOURCE_DIR}/tests/sanitizers/CloneWithoutThreadSanitizer.cpp)
    # Uninstrumented, so it also links into the programs the build itself runs uninstrumented.
    set_target_properties(rushlet_tsan_clone PROPERTIES COMPILE_OPTIONS "")
    set(directories ${PROJECT_SOURCE_DIR})
    while(directories)
        list(POP_FRONT directories directory)
        get_property(subdirectories DIRECTORY ${directory} PROPERTY SUBDIRECTORIES)
        list(APPEND directories ${subdirectories})
        get_property(targets DIRECTORY ${directory} PROPERTY BUILDSYSTEM_TARGETS)
        foreach(target IN LISTS targets)
            get_target_property(type ${target} TYPE)
            if(type STREQUAL "EXECUTABLE")
                target_link_libraries(${target} PRIVATE rushlet_tsan_clone)
            endif()
        endforeach()
    endwhile()
endfunction()
