# A Debian package of the installation as `cmake --install` lays it out under
# ${CMAKE_INSTALL_PREFIX}: `cpack -G DEB` in the build tree.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vaxolocal)
set(CPACK_PACKAGE_VENDOR "Brantexa")
set(CPACK_PACKAGE_CONTACT "vaxolocal maintainers <vaxolocal@brantexa.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "In-process bridge from Java to the local database kernel, and its foundation layer")
set(CPACK_PACKAGE_DESCRIPTION
    "The JNI library libvaxolocal with its C headers, pkg-config and CMake files, the jar,\n\
the qelsconf tool with its manual page, and stand-ins for the kernel and XML API libraries.")
set(CPACK_PACKAGING_INSTALL_PREFIX "${CMAKE_INSTALL_PREFIX}")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION libs)
# Depends from the shared libraries the package's programs need; its own libraries,
# which the stand-ins and the bridge need, are found inside the package.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS "${PROJECT_BINARY_DIR}")
# The jar runs in any Java 8 or later virtual machine; C programs need none.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "default-jre-headless | java8-runtime-headless")
include(CPack)
