# What `cmake --install` puts under the prefix, the Linux desktop way: the programs in bin/, the
# browser extension in share/rushlet/, a desktop entry, the icon in the hicolor theme, AppStream
# metadata and manual pages.

set(RUSHLET_APP_ID com.rushlet.Rushlet)
set(RUSHLET_LINUX_FILES ${PROJECT_SOURCE_DIR}/resources/linux)
set(RUSHLET_GENERATED ${PROJECT_BINARY_DIR}/install-files)

install(TARGETS Rushlet RushletNativeHost rushlet-get rushlet-register-browsers
    RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# The registration's earlier name, a link that the build puts beside it.
install(PROGRAMS ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/rushlet-register-chrome DESTINATION ${CMAKE_INSTALL_BINDIR})

# The extensions as the build assembles them beside the programs.
install(DIRECTORY ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/chrome-extension ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/firefox-extension
    DESTINATION ${RUSHLET_INSTALL_DATADIR})

# The icon: the scalable original and the PNG sizes desktops pick from.
set(RUSHLET_ICON_SIZES 16 24 32 48 64 128 256)
add_executable(rushlet-render-icon ${RUSHLET_LINUX_FILES}/RenderIcon.cpp)
target_link_libraries(rushlet-render-icon PRIVATE Qt6::Gui Qt6::Svg)
set_target_properties(rushlet-render-icon PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${RUSHLET_GENERATED})
# A step of the build, not code under test: it stays uninstrumented in the sanitizer trees, where
# ThreadSanitizer would otherwise stop the build on races it sees inside Qt's threaded image code.
set_target_properties(rushlet-render-icon PROPERTIES COMPILE_OPTIONS "" LINK_OPTIONS "")
set(RUSHLET_ICON_PNGS "")
foreach(size IN LISTS RUSHLET_ICON_SIZES)
    list(APPEND RUSHLET_ICON_PNGS ${RUSHLET_GENERATED}/icons/${size}x${size}/apps/${RUSHLET_APP_ID}.png)
endforeach()
add_custom_command(OUTPUT ${RUSHLET_ICON_PNGS}
    COMMAND rushlet-render-icon
        ${PROJECT_SOURCE_DIR}/resources/rushlet.svg ${RUSHLET_GENERATED}/icons ${RUSHLET_APP_ID}
        ${RUSHLET_ICON_SIZES}
    DEPENDS rushlet-render-icon ${PROJECT_SOURCE_DIR}/resources/rushlet.svg
    VERBATIM)

# AppStream metadata; its release date honours SOURCE_DATE_EPOCH for reproducible packages.
string(TIMESTAMP RUSHLET_RELEASE_DATE "%Y-%m-%d" UTC)
configure_file(${RUSHLET_LINUX_FILES}/${RUSHLET_APP_ID}.metainfo.xml.in
    ${RUSHLET_GENERATED}/${RUSHLET_APP_ID}.metainfo.xml @ONLY)

# Manual pages, compressed as Debian installs them. The native host and the registration tool are
# described on Rushlet's page.
find_program(RUSHLET_GZIP gzip REQUIRED)
set(RUSHLET_MAN_PAGES "")
foreach(page Rushlet rushlet-get)
    configure_file(${RUSHLET_LINUX_FILES}/${page}.1.in ${RUSHLET_GENERATED}/man/${page}.1 @ONLY)
endforeach()
foreach(page RushletNativeHost rushlet-register-browsers rushlet-register-chrome)
    file(WRITE ${RUSHLET_GENERATED}/man/${page}.1 ".so man1/Rushlet.1\n")
endforeach()
foreach(page Rushlet rushlet-get RushletNativeHost rushlet-register-browsers rushlet-register-chrome)
    add_custom_command(OUTPUT ${RUSHLET_GENERATED}/man/${page}.1.gz
        COMMAND ${RUSHLET_GZIP} -9 -n -c ${page}.1 > ${page}.1.gz
        WORKING_DIRECTORY ${RUSHLET_GENERATED}/man
        DEPENDS ${RUSHLET_GENERATED}/man/${page}.1
        VERBATIM)
    list(APPEND RUSHLET_MAN_PAGES ${RUSHLET_GENERATED}/man/${page}.1.gz)
endforeach()

add_custom_target(rushlet_install_files ALL DEPENDS ${RUSHLET_ICON_PNGS} ${RUSHLET_MAN_PAGES})

install(DIRECTORY ${RUSHLET_GENERATED}/icons/ DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor)
install(FILES ${PROJECT_SOURCE_DIR}/resources/rushlet.svg
    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps RENAME ${RUSHLET_APP_ID}.svg)
install(FILES ${RUSHLET_GENERATED}/${RUSHLET_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${RUSHLET_MAN_PAGES} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# The desktop entry starts the installed program by its absolute path, known only when installing:
# `cmake --install --prefix` may choose another prefix than the one configured.
install(CODE "
    set(RUSHLET_DESKTOP_TEMPLATE \"${RUSHLET_LINUX_FILES}/${RUSHLET_APP_ID}.desktop.in\")
    set(RUSHLET_DESKTOP_FOLDER \"${RUSHLET_GENERATED}/desktop\")
    set(RUSHLET_BINDIR \"${CMAKE_INSTALL_BINDIR}\")
    set(RUSHLET_APPLICATIONS_DIR \"${CMAKE_INSTALL_DATADIR}/applications\")
    include(\"${PROJECT_SOURCE_DIR}/cmake/RushletDesktopEntry.cmake\")
")
