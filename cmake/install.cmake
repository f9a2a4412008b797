# `cmake --install <build> --prefix P`: the executables, the library with its headers, and the
# CMake package (P/lib/cmake/pairtrack) so that find_package(pairtrack) works with
# CMAKE_PREFIX_PATH=P. The Python module installs itself (python/CMakeLists.txt).
include(CMakePackageConfigHelpers)

foreach(program pairtrack pairtrack-history)
  if(TARGET ${program})
    install(TARGETS ${program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  endif()
endforeach()

install(TARGETS pairtrack_library EXPORT pairtrackTargets
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(DIRECTORY ${PROJECT_SOURCE_DIR}/include/pairtrack
        DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} FILES_MATCHING PATTERN "*.h")
install(FILES ${PROJECT_BINARY_DIR}/include/pairtrack/version.h
        DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/pairtrack)

set(PAIRTRACK_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/pairtrack)
install(EXPORT pairtrackTargets NAMESPACE pairtrack:: DESTINATION ${PAIRTRACK_CMAKE_DIR})
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/pairtrackConfig.cmake.in
  ${PROJECT_BINARY_DIR}/pairtrackConfig.cmake INSTALL_DESTINATION ${PAIRTRACK_CMAKE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/pairtrackConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/pairtrackConfig.cmake
              ${PROJECT_BINARY_DIR}/pairtrackConfigVersion.cmake
        DESTINATION ${PAIRTRACK_CMAKE_DIR})
