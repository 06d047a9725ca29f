# Where an installed Rushlet puts its files: the GNU layout under the install prefix, with the
# programs in bin/ and their shipped data (the browser extension) in share/rushlet/.

include(GNUInstallDirs)

set(RUSHLET_INSTALL_DATADIR ${CMAKE_INSTALL_DATADIR}/rushlet)

# The programs find their data relative to their own folder, so that an install under any prefix,
# or one moved elsewhere as a whole, still finds its own files and never the build tree's.
file(RELATIVE_PATH RUSHLET_DATA_FROM_PROGRAMS ${CMAKE_INSTALL_FULL_BINDIR} ${CMAKE_INSTALL_FULL_DATADIR}/rushlet)
