# Installation (cmake --install) and the Debian package (cpack -G DEB).
#
# Both programs go to bin/, the manual pages to share/man/man1 (installed by
# man/CMakeLists.txt) and the copyright and changelog to share/doc/varnock under the prefix. The package installs under /usr and depends on the
# shared libraries the programs link, libgd3 among them.

install(TARGETS varnock varnock-view RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

# share/doc/varnock: the licence in Debian's machine-readable copyright format (generated from
# LICENSE, its text indented as the format wants) and the changelog, gzip-compressed without a
# timestamp. A native package (version without a Debian revision) names it changelog.gz.
file(READ ${PROJECT_SOURCE_DIR}/LICENSE licenceText)
string(REGEX REPLACE "\n+$" "" licenceText "${licenceText}")
string(REGEX REPLACE "\n\n" "\n.\n" licenceText "${licenceText}")
string(REGEX REPLACE "\n" "\n " licenceText "${licenceText}")
set(copyrightFile ${CMAKE_CURRENT_BINARY_DIR}/copyright)
file(WRITE ${copyrightFile}
"Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/
Upstream-Name: varnock
Source: ${VARNOCK_HOMEPAGE}

Files: *
Copyright: 2026 the varnock authors
License: Expat
 ${licenceText}
")
set(changelogFile ${CMAKE_CURRENT_BINARY_DIR}/changelog.gz)
add_custom_command(OUTPUT ${changelogFile}
    COMMAND sh -c "gzip -9 -n -c \"$0\" > \"$1\"" ${PROJECT_SOURCE_DIR}/cmake/debian/changelog
            ${changelogFile}
    DEPENDS ${PROJECT_SOURCE_DIR}/cmake/debian/changelog
    COMMENT "Compressing the changelog"
    VERBATIM)
add_custom_target(varnock_changelog ALL DEPENDS ${changelogFile})
install(FILES ${copyrightFile} ${changelogFile} DESTINATION ${CMAKE_INSTALL_DOCDIR})

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
# The summary is the synopsis line; this is only the extended description under it (CPack
# indents its lines).
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "varnock reads the first picture of a GIF file, resizes it to any size
(one side may be derived from the other), dithers it to black and white
with Floyd-Steinberg error diffusion at the picture's mean brightness and
writes a WBMP file of type 0. varnock-view draws a WBMP picture in the
terminal with Unicode half blocks, or writes it as a black-and-white GIF
that any web browser shows. The programs' texts are in French.")

# dpkg-shlibdeps works out the exact dependencies (libgd3, libc6, libstdc++6, ...); without it
# the package names them itself.
find_program(VARNOCK_DPKG_SHLIBDEPS dpkg-shlibdeps)
if(VARNOCK_DPKG_SHLIBDEPS)
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
else()
    set(CPACK_DEBIAN_PACKAGE_DEPENDS "libgd3 (>= 2.1.0), libc6, libstdc++6, libgcc-s1")
endif()

include(CPack)
