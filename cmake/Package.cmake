# SPDX-License-Identifier: MIT
# The Debian package: in a build folder configured for /usr, `cpack -G DEB` makes
# orvane_VERSION_ARCH.deb with the program, its platform library and translators (in
# their private folder), the launcher, icons, AppStream metadata and file-manager actions.
# Its dependencies are found by dpkg-shlibdeps from the libraries the binaries link.

set(ORVANE_MAINTAINER "Orvane maintainers <maintainers@orvane.invalid>"
    CACHE STRING "The package's maintainer, as Debian writes it")

# What Debian asks of every package beside its files: the copyright and the changelog.
set(ORVANE_DOCDIR ${CMAKE_INSTALL_DATADIR}/doc/orvane)
install(FILES ${PROJECT_SOURCE_DIR}/data/debian/copyright DESTINATION ${ORVANE_DOCDIR})
orv_install_gzipped(FILE ${PROJECT_SOURCE_DIR}/data/debian/changelog DESTINATION ${ORVANE_DOCDIR})

set(CPACK_PACKAGE_NAME orvane)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT ${ORVANE_MAINTAINER})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "batch picture converter")
set(CPACK_PACKAGE_DESCRIPTION "Orvane converts pictures in batches, with a French interface:
drop pictures or folders on its window, pick an output format among those
its translators write (PNG, JPEG, WebP, TIFF, GIF, BMP, TGA, PNM, QOI, AVIF,
JPEG XL, HEIF), optionally a filter, a new size and smoothing, choose what
becomes of the sources, and convert. File-manager actions convert a
selection in one step, and the command line (orvane convert) runs the same
form without a display.")
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_GENERATOR DEB)
include(CPack)
