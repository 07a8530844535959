# Installs the libraries, public headers, the CMake package QuolanContainers
# (imported targets Quolan::containers and Quolan::platform) and the
# pkg-config module quolan-containers.
include(CMakePackageConfigHelpers)

set_target_properties(quolan_containers PROPERTIES EXPORT_NAME containers)
set_target_properties(quolan_platform PROPERTIES EXPORT_NAME platform)
# The C++ layer (quolan/containers.hpp) is C++20: a consumer that sets no
# standard of its own still compiles it.
target_compile_features(quolan_containers INTERFACE cxx_std_20)
# The container library finds the host stand-in installed beside it.
set_target_properties(quolan_containers PROPERTIES INSTALL_RPATH "$ORIGIN")

install(TARGETS quolan_containers quolan_platform
  EXPORT QuolanContainersTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(DIRECTORY ${PROJECT_SOURCE_DIR}/include/quolan
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} FILES_MATCHING PATTERN "*.h" PATTERN "*.hpp")

set(QUOLAN_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/QuolanContainers)
install(EXPORT QuolanContainersTargets NAMESPACE Quolan:: DESTINATION ${QUOLAN_CMAKE_DIR})
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/QuolanContainersConfig.cmake.in
  ${PROJECT_BINARY_DIR}/QuolanContainersConfig.cmake INSTALL_DESTINATION ${QUOLAN_CMAKE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/QuolanContainersConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/QuolanContainersConfig.cmake
              ${PROJECT_BINARY_DIR}/QuolanContainersConfigVersion.cmake
        DESTINATION ${QUOLAN_CMAKE_DIR})

# The .pc file finds its prefix relative to itself: one ".." per segment of
# <libdir>/pkgconfig.
set(QUOLAN_PC_PREFIX "\${pcfiledir}/..")
string(REPLACE "/" ";" _libdir_segments "${CMAKE_INSTALL_LIBDIR}")
foreach(_segment ${_libdir_segments})
  string(APPEND QUOLAN_PC_PREFIX "/..")
endforeach()
configure_file(${PROJECT_SOURCE_DIR}/cmake/quolan-containers.pc.in
  ${PROJECT_BINARY_DIR}/quolan-containers.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/quolan-containers.pc
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
