# The Debian package: `cpack -G DEB` in a build folder makes tavrel_<version>_<arch>.deb with what
# `cmake --install` installs (the program, the share program, their desktop entries, the icon, the
# file managers' actions and the configuration; never the local service).
set(CPACK_PACKAGE_NAME "tavrel")
set(CPACK_PACKAGE_VENDOR "Tavrel")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Send files and folders and share a link to them")
set(CPACK_PACKAGE_DESCRIPTION "Tavrel sits in the panel's tray and sends files and folders to the Tavrel \
file-transfer service, then hands back a link to share them. Files reach it from its popover, the file \
picker, a global shortcut or the file manager's Send with Tavrel.")
set(CPACK_PACKAGE_CONTACT "Tavrel desktop team <desktop@tavrel.com>")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGING_INSTALL_PREFIX "/usr")
set(CPACK_STRIP_FILES ON)
set(CPACK_GENERATOR "DEB")

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION "net")
set(CPACK_DEBIAN_PACKAGE_PRIORITY "optional")
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://tavrel.com")
# Shared libraries are found by dpkg-shlibdeps; what the program loads at run time by name is listed:
# the Qt Quick modules its views import, the icon theme its symbols come from, the type database,
# and xdg-open for the browser.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "qml6-module-qtquick, qml6-module-qtquick-controls, qml6-module-qtquick-templates, \
qml6-module-qtquick-window, qml6-module-qtquick-layouts, qml6-module-qtquick-shapes, \
qml6-module-qtqml, qml6-module-qtqml-workerscript, adwaita-icon-theme, shared-mime-info, \
xdg-utils")
# A secret store for the session, thumbnails of the files being sent, the interface's font, Wayland.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS
    "gnome-keyring | keepassxc | kwalletmanager, default-dbus-session-bus | dbus-session-bus, tumbler, \
fonts-inter, qt6-wayland, qt6-image-formats-plugins")

include(CPack)
