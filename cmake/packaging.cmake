# The Debian package: cpack -G DEB in the build tree makes
# korrin_<version>_<arch>.deb from the install rules. Its library
# dependencies are computed by dpkg-shlibdeps.

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME korrin)
set(CPACK_PACKAGE_VENDOR "Korrin developers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "batch text replacement in Excel workbooks")
set(CPACK_PACKAGE_DESCRIPTION [[
Korrin replaces texts in many Excel workbooks (.xls and .xlsx) in one go,
without Excel: it reads and writes the workbook files itself and changes
only the cells that a replacement changes.
The desktop program korrin (Chinese user interface) gives every workbook
the same replacements, or each workbook its own from a table; korrin-batch
runs the same jobs from the command line.]])
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Korrin developers <korrin@invalid>")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The window's texts are Chinese and need a CJK font; the Help command and
# the folder opening hand files to the desktop through xdg-open.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-noto-cjk | fonts-wqy-microhei | fonts-wqy-zenhei, xdg-utils")

include(CPack)
