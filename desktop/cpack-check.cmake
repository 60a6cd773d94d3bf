# Read by cpack: a Debian package installs under /usr, and the build it is made from must say so.
if(CPACK_GENERATOR STREQUAL "DEB" AND NOT CPACK_PACKAGING_INSTALL_PREFIX STREQUAL "/usr")
  message(FATAL_ERROR "The Debian package installs under /usr: configure the build with -DCMAKE_INSTALL_PREFIX=/usr "
                      "(it is configured with ${CPACK_PACKAGING_INSTALL_PREFIX}).")
endif()
