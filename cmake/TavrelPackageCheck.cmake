# Read by cpack before it installs or packages anything (CPACK_PROJECT_CONFIG_FILE): a build for the
# run command admits a web application on plain http at a local host, and no package may carry that.
if(CPACK_TAVREL_ALLOW_LOCAL_HTTP)
  message(FATAL_ERROR "This build accepts a web application on plain http (TAVREL_ALLOW_LOCAL_HTTP=ON, "
                      "for the run command) and is never packaged. Package a build configured without it.")
endif()
