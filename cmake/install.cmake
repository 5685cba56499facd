# What lets other projects build against the installed library: the CMake
# package (find_package(ovinpdf) -> ovinpdf::ovinpdf) and ovinpdf.pc. Both
# are relocatable, so `cmake --install build --prefix P` works for any P.
include(CMakePackageConfigHelpers)

set(OVINPDF_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/ovinpdf)
install(EXPORT ovinpdfTargets NAMESPACE ovinpdf:: DESTINATION ${OVINPDF_CMAKE_DIR})
configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/ovinpdfConfig.cmake.in
  ${PROJECT_BINARY_DIR}/ovinpdfConfig.cmake INSTALL_DESTINATION ${OVINPDF_CMAKE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/ovinpdfConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/ovinpdfConfig.cmake
  ${PROJECT_BINARY_DIR}/ovinpdfConfigVersion.cmake DESTINATION ${OVINPDF_CMAKE_DIR})

# The .pc file finds the prefix from its own folder (pkg-config's
# ${pcfiledir}); absolute install folders are written as they are.
if(IS_ABSOLUTE "${CMAKE_INSTALL_LIBDIR}")
  set(OVINPDF_PC_PREFIX "${CMAKE_INSTALL_PREFIX}")
else()
  file(RELATIVE_PATH up "/${CMAKE_INSTALL_LIBDIR}/pkgconfig" "/")
  string(REGEX REPLACE "/$" "" up "${up}")
  set(OVINPDF_PC_PREFIX "\${pcfiledir}/${up}")
endif()
foreach(kind LIBDIR INCLUDEDIR)
  if(IS_ABSOLUTE "${CMAKE_INSTALL_${kind}}")
    set(OVINPDF_PC_${kind} "${CMAKE_INSTALL_${kind}}")
  else()
    set(OVINPDF_PC_${kind} "\${prefix}/${CMAKE_INSTALL_${kind}}")
  endif()
endforeach()
configure_file(${CMAKE_CURRENT_LIST_DIR}/ovinpdf.pc.in ${PROJECT_BINARY_DIR}/ovinpdf.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/ovinpdf.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
