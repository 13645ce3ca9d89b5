# The Debian package: `cpack -G DEB` in a release build configured with
# -DCMAKE_INSTALL_PREFIX=/usr (scripts/package does both).
set(CPACK_PACKAGE_NAME tarnwick-ftp)
set(CPACK_PACKAGE_VENDOR "Tarnwick FTP")
set(CPACK_PACKAGE_CONTACT "Tarnwick FTP support <support@example.com>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Desktop FTP client with saved sites, and the tarnftp command")
set(CPACK_PACKAGE_DESCRIPTION
    "Tarnwick FTP keeps a list of saved FTP sites, walks a server's folders beside a local browser, \
uploads and downloads files, and makes, renames and deletes folders and files on both sides. \
tarnftp is a command-line client on the same engine.")
set(CPACK_PACKAGE_HOMEPAGE_URL "https://www.example.com/")
# The program looks for its data where it was configured to be installed:
# the package must put it there.
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The shell's "open" (the local page) and the fonts the windows are laid out for.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils, fonts-liberation")
include(CPack)
