# SPDX-License-Identifier: MIT
# The Debian package: `cpack -G DEB` in a build folder makes
# brimsel-tool_<version>_<arch>.deb from the install rules of every folder.
set(CPACK_PACKAGE_NAME brimsel-tool)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Brimsel")
set(BRIMSEL_PACKAGE_MAINTAINER "Brimsel tool developers <brimsel-tool@example.org>"
    CACHE STRING "Maintainer field of the Debian package")
set(CPACK_PACKAGE_CONTACT ${BRIMSEL_PACKAGE_MAINTAINER})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "LED colour tool for Brimsel sim-racing accessories")
set(CPACK_PACKAGE_DESCRIPTION
    "Sets the LED colour of up to three Brimsel USB sim-racing accessories
(handbrake, sequential shifter, H-pattern shifter) over HID. Includes the
Brimsel tool window, the brimsel-ctl command for scripts and a udev rule that
gives the logged-in user access to the accessories.")
# Packages install under /usr. The udev rule's folder is chosen from the
# install prefix, so a package wants the build configured for /usr too.
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
if(UNIX AND NOT APPLE AND NOT CMAKE_INSTALL_PREFIX STREQUAL "/usr")
    message(STATUS "For a Debian package configure with -DCMAKE_INSTALL_PREFIX=/usr; "
                   "otherwise the package puts the udev rule in ${BRIMSEL_UDEV_RULES_DIR}")
endif()
set(CPACK_STRIP_FILES ON)
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/debian/strip.cmake)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE ${PROJECT_HOMEPAGE_URL})
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Library dependencies as dpkg-shlibdeps finds them in the binaries.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Applies the udev rule to accessories that are already plugged in.
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${CMAKE_CURRENT_LIST_DIR}/debian/postinst)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

include(CPack)
