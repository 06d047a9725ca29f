# The browser extensions, assembled beside the programs where the registration names them to the
# user: chrome-extension/ for the Chromium family and firefox-extension/ for Firefox. Both trees are
# written from the same scripts, pages and icons (kept in the source folder chrome-extension/); each
# has a manifest of its own and platform.js, the small module that speaks to its browser.

set(RUSHLET_EXTENSION_SHARED_FILES background.js handoff.js rushlet.js popup.html popup.js popup.css
    icons/icon-16.png icons/icon-32.png icons/icon-48.png icons/icon-128.png)

# Copies FILES, paths below SOURCE_FOLDER, into the tree TREE beside the programs; the copies are
# appended to the list OUTPUTS_VARIABLE.
function(rushlet_extension_files outputs_variable tree source_folder)
    set(outputs ${${outputs_variable}})
    foreach(file IN LISTS ARGN)
        set(output ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/${tree}/${file})
        get_filename_component(output_folder ${output} DIRECTORY)
        add_custom_command(OUTPUT ${output}
            COMMAND ${CMAKE_COMMAND} -E make_directory ${output_folder}
            COMMAND ${CMAKE_COMMAND} -E copy_if_different ${source_folder}/${file} ${output}
            DEPENDS ${source_folder}/${file}
            VERBATIM)
        list(APPEND outputs ${output})
    endforeach()
    set(${outputs_variable} ${outputs} PARENT_SCOPE)
endfunction()

set(rushlet_chrome_sources ${PROJECT_SOURCE_DIR}/chrome-extension)
set(rushlet_firefox_sources ${PROJECT_SOURCE_DIR}/firefox-extension)

set(rushlet_chrome_outputs "")
rushlet_extension_files(rushlet_chrome_outputs chrome-extension ${rushlet_chrome_sources}
    ${RUSHLET_EXTENSION_SHARED_FILES} manifest.json platform.js)
add_custom_target(rushlet_chrome_extension ALL DEPENDS ${rushlet_chrome_outputs})

# Firefox knows the extension by the add-on id the build was given, and the version is the product's.
set(rushlet_firefox_generated ${PROJECT_BINARY_DIR}/firefox-extension)
configure_file(${rushlet_firefox_sources}/manifest.json.in ${rushlet_firefox_generated}/manifest.json @ONLY)
set(rushlet_firefox_outputs "")
rushlet_extension_files(rushlet_firefox_outputs firefox-extension ${rushlet_chrome_sources}
    ${RUSHLET_EXTENSION_SHARED_FILES})
rushlet_extension_files(rushlet_firefox_outputs firefox-extension ${rushlet_firefox_sources} platform.js)
rushlet_extension_files(rushlet_firefox_outputs firefox-extension ${rushlet_firefox_generated} manifest.json)
add_custom_target(rushlet_firefox_extension ALL DEPENDS ${rushlet_firefox_outputs})
