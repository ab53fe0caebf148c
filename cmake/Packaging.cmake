# Installation (cmake --install) and the Debian package (cpack -G DEB).
#
# Both programs go to bin/ and the manual pages to share/man/man1 under the prefix (the pages
# are installed by man/CMakeLists.txt). The package installs under /usr and depends on the
# shared libraries the programs link, libgd3 among them.

install(TARGETS varnock varnock-view RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

set(CPACK_PACKAGE_NAME varnock)
set(CPACK_PACKAGE_VENDOR varnock)
set(CPACK_PACKAGE_CONTACT "varnock maintainers <varnock@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "convert GIF pictures to black-and-white WBMP (WAP) pictures")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE ${VARNOCK_HOMEPAGE})
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "convert GIF pictures to black-and-white WBMP (WAP) pictures
 varnock reads the first picture of a GIF file, resizes it to any size
 (one side may be derived from the other), dithers it to black and white
 with Floyd-Steinberg error diffusion at the picture's mean brightness and
 writes a WBMP file of type 0. varnock-view draws a WBMP picture in the
 terminal with Unicode half blocks. The programs' texts are in French.")

# dpkg-shlibdeps works out the exact dependencies (libgd3, libc6, libstdc++6, ...); without it
# the package names them itself.
find_program(VARNOCK_DPKG_SHLIBDEPS dpkg-shlibdeps)
if(VARNOCK_DPKG_SHLIBDEPS)
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
else()
    set(CPACK_DEBIAN_PACKAGE_DEPENDS "libgd3 (>= 2.1.0), libc6, libstdc++6, libgcc-s1")
endif()

include(CPack)
