# `cmake --build build --target package`: a Debian package of what `cmake --install` puts under
# /usr. Its dependencies come from the libraries the programs link (dpkg-shlibdeps), so the
# package asks for exactly the Qt libraries it was built against.

set(RUSHLET_PACKAGE_MAINTAINER "Rushlet developers <developers@rushlet.invalid>"
    CACHE STRING "The Maintainer of the Debian package, as \"Name <address>\"")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME rushlet)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR Rushlet)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "download manager with parallel connections and safe resuming")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${RUSHLET_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Without the Wayland platform plugin, Qt draws through XWayland, the way the windows are tried;
# the plugin pulls in the QML runtime, so it stays the user's choice.
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "chromium, qt6-wayland")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Rushlet downloads files over HTTP and HTTPS, splitting each into up to 16 byte
ranges fetched over parallel connections. It records its progress beside the
file, so a download survives pauses, failures, crashes and restarts, and it
never joins the bytes of two versions of a file. It keeps a download list
between sessions and takes downloads sent from Chrome through an extension.
.
This package holds the windowed program, the browser bridge with its
extension, and rushlet-get, the same engine on the command line.")

include(CPack)
