# `make package`: the Debian package of Nocturo, made by CPack from the
# install rules of the build directory it runs in. Its dependencies come from
# the libraries the programs link (dpkg-shlibdeps), plus the Qt plug-ins they
# load at run time, which no linker sees: the platform plug-ins that open the
# windows (qt6-qpa-plugins, only recommended by Qt itself) and the SVG icon
# engine that draws every icon (libqt6svg6).
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME nocturo)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Nocturo developers")
set(CPACK_PACKAGE_CONTACT ${NOCTURO_PACKAGE_MAINTAINER})
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/package)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "star-trail stacker for night-sky photographers")
set(CPACK_PACKAGE_DESCRIPTION
    "Nocturo merges hundreds or thousands of frames taken from a fixed camera into\n"
    "one star-trail picture, pixel by pixel, and can save every step as a numbered\n"
    "picture for a time-lapse of the growing trails. It corrects frames against\n"
    "dark and flat frames, finds the frames with meteors and satellites, and\n"
    "handles lists of tens of thousands of files.\n"
    "\n"
    "The package holds the program (nocturo) and its command-line tool\n"
    "(nocturo-stack), which merges frames without a window.")
string(REPLACE ";" "" CPACK_PACKAGE_DESCRIPTION "${CPACK_PACKAGE_DESCRIPTION}")

set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${NOCTURO_PACKAGE_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, libqt6svg6")
# Qt's own dialogs and buttons (Yes, No, Cancel, the file dialogs) in
# French and German.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-translations-l10n")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

include(CPack)
