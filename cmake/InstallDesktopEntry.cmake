# Runs at install time (cmake --install, cpack): writes the program's desktop entry with the path the
# program is installed at. TAVREL_ENTRY_TEMPLATE and TAVREL_ENTRY_STAGING are set by the install rule.
set(TAVREL_EXEC "${CMAKE_INSTALL_PREFIX}/bin/tavrel")
# An Exec path with blanks, quotes or escapes would need quoting that not every desktop reads alike.
if(TAVREL_EXEC MATCHES "[ \t\"'\\\\$`%]")
  message(FATAL_ERROR "The desktop entry cannot start a program under this prefix: ${CMAKE_INSTALL_PREFIX}")
endif()
configure_file("${TAVREL_ENTRY_TEMPLATE}" "${TAVREL_ENTRY_STAGING}/com.tavrel.macos.desktop" @ONLY)
file(INSTALL "${TAVREL_ENTRY_STAGING}/com.tavrel.macos.desktop" DESTINATION "${CMAKE_INSTALL_PREFIX}/share/applications")
