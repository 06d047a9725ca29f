# Shared compile settings and the helpers every folder uses to declare its targets.

find_program(RUSHLET_CCACHE ccache)
if(RUSHLET_CCACHE)
    set(CMAKE_CXX_COMPILER_LAUNCHER ${RUSHLET_CCACHE})
endif()

add_library(rushlet_common INTERFACE)
target_compile_features(rushlet_common INTERFACE cxx_std_20)
target_include_directories(rushlet_common INTERFACE ${PROJECT_SOURCE_DIR})
target_compile_definitions(rushlet_common INTERFACE
    RUSHLET_VERSION="${PROJECT_VERSION}"
    QT_NO_CAST_TO_ASCII
    QT_NO_URL_CAST_FROM_STRING
    QT_NO_FOREACH
    QT_NO_NARROWING_CONVERSIONS_IN_CONNECT
    QT_USE_QSTRINGBUILDER
    QT_DISABLE_DEPRECATED_BEFORE=0x060400)
target_compile_options(rushlet_common INTERFACE
    -Wall -Wextra -Wpedantic -Wnon-virtual-dtor -Woverloaded-virtual -Wold-style-cast
    -Wimplicit-fallthrough -Wno-missing-field-initializers
    $<$<BOOL:${RUSHLET_WERROR}>:-Werror>)

# A core library holds no widgets: it links Qt Core and Network only, so the engine, the list,
# the bridge protocol and the update rules stay testable headless. rushlet_check_core_layering()
# refuses to configure when one of them reaches Gui, Widgets or Svg through any dependency.
function(rushlet_core_library name)
    add_library(${name} STATIC ${ARGN})
    target_link_libraries(${name} PUBLIC rushlet_common Qt6::Core Qt6::Network)
    set_property(GLOBAL APPEND PROPERTY RUSHLET_CORE_TARGETS ${name})
endfunction()

function(rushlet_gui_library name)
    add_library(${name} STATIC ${ARGN})
    target_link_libraries(${name} PUBLIC rushlet_common Qt6::Core Qt6::Gui Qt6::Widgets Qt6::Network Qt6::Svg)
    set_property(GLOBAL APPEND PROPERTY RUSHLET_GUI_TARGETS ${name})
endfunction()

# The sources of a target, as paths relative to the top of the tree.
function(_rushlet_sources_of target out_var)
    get_target_property(sources ${target} SOURCES)
    get_target_property(folder ${target} SOURCE_DIR)
    set(found "")
    foreach(source IN LISTS sources)
        if(source MATCHES "\\.(h|cpp)$")
            get_filename_component(absolute ${source} ABSOLUTE BASE_DIR ${folder})
            file(RELATIVE_PATH relative ${PROJECT_SOURCE_DIR} ${absolute})
            list(APPEND found ${relative})
        endif()
    endforeach()
    set(${out_var} ${found} PARENT_SCOPE)
endfunction()

function(_rushlet_collect_links target out_var)
    set(seen ${${out_var}})
    if(NOT TARGET ${target} OR target IN_LIST seen)
        set(${out_var} ${seen} PARENT_SCOPE)
        return()
    endif()
    list(APPEND seen ${target})
    get_target_property(aliased ${target} ALIASED_TARGET)
    if(aliased)
        _rushlet_collect_links(${aliased} seen)
    endif()
    get_target_property(type ${target} TYPE)
    set(links "")
    if(NOT type STREQUAL "INTERFACE_LIBRARY")
        get_target_property(direct ${target} LINK_LIBRARIES)
        if(direct)
            list(APPEND links ${direct})
        endif()
    endif()
    get_target_property(iface ${target} INTERFACE_LINK_LIBRARIES)
    if(iface)
        list(APPEND links ${iface})
    endif()
    foreach(dep IN LISTS links)
        string(REGEX REPLACE "^\\$<LINK_ONLY:(.*)>$" "\\1" dep "${dep}")
        if(TARGET ${dep})
            _rushlet_collect_links(${dep} seen)
        endif()
    endforeach()
    set(${out_var} ${seen} PARENT_SCOPE)
endfunction()

function(rushlet_check_core_layering)
    get_property(core_targets GLOBAL PROPERTY RUSHLET_CORE_TARGETS)
    get_property(gui_targets GLOBAL PROPERTY RUSHLET_GUI_TARGETS)
    # A core source includes no header of a widget library, even one it could compile without
    # linking.
    set(gui_headers "")
    foreach(target IN LISTS gui_targets)
        _rushlet_sources_of(${target} sources)
        list(APPEND gui_headers ${sources})
    endforeach()
    foreach(target IN LISTS core_targets)
        _rushlet_sources_of(${target} sources)
        foreach(source IN LISTS sources)
            file(STRINGS ${PROJECT_SOURCE_DIR}/${source} includes REGEX "^#include \"")
            foreach(line IN LISTS includes)
                string(REGEX REPLACE "^#include \"([^\"]*)\".*" "\\1" included "${line}")
                if(included IN_LIST gui_headers)
                    message(FATAL_ERROR "${source} of core library ${target} includes ${included} of a widget library.")
                endif()
            endforeach()
        endforeach()
    endforeach()
    foreach(target IN LISTS core_targets)
        set(reached "")
        _rushlet_collect_links(${target} reached)
        foreach(forbidden Qt6::Gui Qt6::Widgets Qt6::Svg Qt6::SvgWidgets Qt6::OpenGL)
            if(forbidden IN_LIST reached)
                message(FATAL_ERROR "Core library ${target} links ${forbidden}; core libraries may use Qt Core and Network only.")
            endif()
        endforeach()
    endforeach()
endfunction()

# rushlet_test(<name> SOURCES <files...> [LIBS <targets...>] [TIMEOUT <seconds>] [LABELS <labels...>])
# Builds one test program into build/tests and registers it with CTest on the offscreen platform.
# Tests get the folder of the built programs and of the sources through the environment.
function(rushlet_test name)
    cmake_parse_arguments(T "" "TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
    add_executable(${name} ${T_SOURCES})
    target_link_libraries(${name} PRIVATE rushlet_common rushlet_testsupport Qt6::Test ${T_LIBS})
    set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
    add_test(NAME ${name} COMMAND ${name})
    if(NOT T_TIMEOUT)
        set(T_TIMEOUT 300)
    endif()
    set_tests_properties(${name} PROPERTIES
        TIMEOUT ${T_TIMEOUT}
        LABELS "${T_LABELS}"
        # No bus of the user's: no test may send a desktop notice or hold the machine awake, and
        # without an address libdbus would start a session bus that outlives the test. Tests that
        # need a bus start one of their own (tests/support/SessionBus).
        ENVIRONMENT "QT_QPA_PLATFORM=offscreen;RUSHLET_BIN_DIR=${CMAKE_RUNTIME_OUTPUT_DIRECTORY};RUSHLET_SOURCE_DIR=${PROJECT_SOURCE_DIR};LANG=C.UTF-8;DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent/rushlet-tests/no-bus;DBUS_SYSTEM_BUS_ADDRESS=unix:path=/nonexistent/rushlet-tests/no-bus")
endfunction()
