# A Debian package of what the install puts in place: `cpack -G DEB` in the build folder
# (tools/package does it all). dpkg-shlibdeps works out the libraries the program links,
# Qt's among them; the platform plugins that draw the window and the fonts that stand in
# for Arial are no links, so they are named here.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quellomir)
set(CPACK_PACKAGE_VENDOR Venmarro)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "brings two folders into step, copying what each side lacks")
set(CPACK_PACKAGE_DESCRIPTION "Quellomir compares two folders, say a folder and its backup on another
drive or a USB stick, and shows the plan: a copy for each file that one side
lacks, an overwrite where a file of the same name is newer on the other side.
Untick what you do not want, and it carries out the rest. Files are matched
by name whatever subfolder they lie in, or on request by their place in the
folders, and nothing is deleted except the older file that its newer
namesake replaces.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Team Venmarro <support@venmarro.example>")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE https://venmarro.example/)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, fonts-liberation")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-wayland")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

include(CPack)
