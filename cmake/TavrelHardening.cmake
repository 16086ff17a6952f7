# Debian's hardening (fortified functions, stack protector, read-only relocations bound at start;
# the compiler makes position-independent executables by default), taken from dpkg-buildflags as a
# Debian package build would get them. Only for optimised builds: fortification needs the optimiser,
# and the sanitizers bring checks of their own.
option(TAVREL_HARDENING "Build with the hardening flags dpkg-buildflags gives" ON)

if(TAVREL_HARDENING AND NOT TAVREL_SANITIZE AND CMAKE_BUILD_TYPE MATCHES "^(Release|RelWithDebInfo|MinSizeRel)$")
  find_program(TAVREL_DPKG_BUILDFLAGS dpkg-buildflags)
  if(TAVREL_DPKG_BUILDFLAGS)
    function(tavrel_dpkg_buildflags variable output)
      execute_process(
        COMMAND "${CMAKE_COMMAND}" -E env "DEB_BUILD_MAINT_OPTIONS=hardening=+all" "${TAVREL_DPKG_BUILDFLAGS}" --get ${variable}
        OUTPUT_VARIABLE flags OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
      separate_arguments(flags UNIX_COMMAND "${flags}")
      # The build type chooses optimisation and debug information; path maps would make the same
      # source compile differently in each checkout (and miss the shared compiler cache).
      list(FILTER flags EXCLUDE REGEX "^-(O.*|g.*|f(file|debug|macro)-prefix-map=.*)$")
      set(${output} "${flags}" PARENT_SCOPE)
    endfunction()
    tavrel_dpkg_buildflags(CPPFLAGS hardening_cppflags)
    tavrel_dpkg_buildflags(CXXFLAGS hardening_cxxflags)
    tavrel_dpkg_buildflags(LDFLAGS hardening_ldflags)
    add_compile_options(${hardening_cppflags} ${hardening_cxxflags})
    add_link_options(${hardening_ldflags})
    message(STATUS "Hardening from dpkg-buildflags: ${hardening_cppflags} ${hardening_cxxflags} ${hardening_ldflags}")
  else()
    message(STATUS "Hardening: dpkg-buildflags not found, building without Debian's hardening flags")
  endif()
endif()
