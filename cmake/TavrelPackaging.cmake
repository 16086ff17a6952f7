# The Debian package: `cpack -G DEB` in a build folder makes tavrel_<version>_<arch>.deb with what
# `cmake --install` installs (the program, the share program, their desktop entries, the icon, the
# file managers' actions and the configuration; never the local service).
set(CPACK_PACKAGE_NAME "tavrel")
set(CPACK_PACKAGE_VENDOR "Tavrel")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Send files and folders and share a link to them")
# The extended description is wrapped as the control file shows it (lines under 80 columns).
set(CPACK_PACKAGE_DESCRIPTION "Tavrel sits in the panel's tray and sends files and folders to the
Tavrel file-transfer service, then hands back a link to share them. Files
reach it from its popover, its file picker, a global shortcut, or Send with
Tavrel in Thunar, Nautilus, Dolphin and Nemo.")
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
# xdg-open for the browser, and the certificate authorities every https request is checked against
# (libcurl only recommends them, so an install without recommendations would have none).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "qml6-module-qtquick, qml6-module-qtquick-controls, qml6-module-qtquick-templates, \
qml6-module-qtquick-window, qml6-module-qtquick-layouts, qml6-module-qtquick-shapes, \
qml6-module-qtqml, qml6-module-qtqml-workerscript, adwaita-icon-theme, shared-mime-info, \
xdg-utils, ca-certificates")
# A secret store for the session, thumbnails of the files being sent, the interface's font, Wayland,
# and Nautilus' loader of the "Send with Tavrel" extension.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS
    "gnome-keyring | keepassxc | kwalletmanager, default-dbus-session-bus | dbus-session-bus, tumbler, \
fonts-inter, qt6-wayland, qt6-image-formats-plugins, python3-nautilus")

# What Debian asks of every package: its copyright, its changelog and manual pages, compressed as
# dpkg's own tools do (-9n: no name or time stamp, so the same text gives the same bytes).
set(debian_folder "${PROJECT_SOURCE_DIR}/packaging/debian")
set(debian_staging "${CMAKE_BINARY_DIR}/packaging")
set(debian_compressed "")
foreach(page changelog tavrel.1 tavrel-share.1)
  configure_file("${debian_folder}/${page}.in" "${debian_staging}/${page}" @ONLY)
  add_custom_command(OUTPUT "${debian_staging}/${page}.gz"
                     COMMAND gzip -9n -c "${debian_staging}/${page}" > "${debian_staging}/${page}.gz"
                     DEPENDS "${debian_staging}/${page}" "${debian_folder}/${page}.in")
  list(APPEND debian_compressed "${debian_staging}/${page}.gz")
endforeach()
add_custom_target(tavrel_package_documents ALL DEPENDS ${debian_compressed})
install(FILES "${debian_folder}/copyright" "${debian_staging}/changelog.gz" DESTINATION share/doc/tavrel)
install(FILES "${debian_staging}/tavrel.1.gz" "${debian_staging}/tavrel-share.1.gz" DESTINATION share/man/man1)
install(FILES "${debian_folder}/lintian-overrides" DESTINATION share/lintian/overrides RENAME tavrel)

# A build for the run command is refused by cpack itself, with a message, before anything is staged.
set(CPACK_TAVREL_ALLOW_LOCAL_HTTP "${TAVREL_ALLOW_LOCAL_HTTP}")
set(CPACK_PROJECT_CONFIG_FILE "${PROJECT_SOURCE_DIR}/cmake/TavrelPackageCheck.cmake")

include(CPack)
