# Runs when installing: writes the desktop entry with the absolute path of the installed program
# and installs it. Set by the caller: RUSHLET_DESKTOP_TEMPLATE (NAME.desktop.in),
# RUSHLET_DESKTOP_FOLDER (where the entries are written), RUSHLET_BINDIR and
# RUSHLET_APPLICATIONS_DIR (both relative to the prefix, or absolute).

set(program "${RUSHLET_BINDIR}/Rushlet")
if(NOT IS_ABSOLUTE "${program}")
    set(program "${CMAKE_INSTALL_PREFIX}/${program}")
endif()
set(applications "${RUSHLET_APPLICATIONS_DIR}")
if(NOT IS_ABSOLUTE "${applications}")
    set(applications "${CMAKE_INSTALL_PREFIX}/${applications}")
endif()

# A path holding characters the Exec key reserves is quoted: inside the quotes a backslash escapes
# '"', '`', '$' and '\', every backslash is doubled again as the key's string type requires, and a
# percent sign is doubled so that it is not read as a field code.
set(RUSHLET_DESKTOP_EXEC "${program}")
if(NOT program MATCHES "^[A-Za-z0-9/._+-]+$")
    string(REGEX REPLACE "([\"`$\\\\])" "\\\\\\1" quoted "${program}")
    string(REPLACE "\\" "\\\\" quoted "${quoted}")
    string(REPLACE "%" "%%" quoted "${quoted}")
    set(RUSHLET_DESKTOP_EXEC "\"${quoted}\"")
endif()

# Installs to different prefixes may run at once; each writes its own copy.
string(MD5 variant "${program}")
get_filename_component(name "${RUSHLET_DESKTOP_TEMPLATE}" NAME_WLE)
set(entry "${RUSHLET_DESKTOP_FOLDER}/${variant}/${name}")
configure_file("${RUSHLET_DESKTOP_TEMPLATE}" "${entry}" @ONLY)
file(INSTALL DESTINATION "${applications}" TYPE FILE FILES "${entry}")
