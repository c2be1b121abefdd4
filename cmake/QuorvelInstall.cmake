# Installation: both libraries with their SONAME links, the public headers under
# include/Quorvel32/, a CMake package (find_package(Quorvel32 CONFIG)), one pkg-config file per
# layout, and the quorvel tool when it is built. Included at the end of the root CMakeLists.txt,
# after every target exists.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(QUORVEL_PACKAGE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/Quorvel32)
# The targets' INSTALL_INTERFACE include directory is include/Quorvel32 (root CMakeLists.txt).
set(QUORVEL_HEADER_DIR ${CMAKE_INSTALL_INCLUDEDIR}/Quorvel32)

install(TARGETS Quorvel32 Quorvel32Legacy
  EXPORT Quorvel32Targets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})

# Quorvel32.h and every header it includes, directly or not. The logs/ headers that only the
# library's sources include (LogLayout.h, LogReaderOps.h) stay private. Quorvel32.h includes its
# headers by bare name, so all of them sit in one directory.
install(FILES
  include/Quorvel32.h
  frame/ByteOrder.h
  frame/CException.h
  frame/CFile.h
  frame/CFileException.h
  frame/CFileStatus.h
  frame/CMemoryException.h
  frame/CObArray.h
  frame/CObject.h
  frame/CString.h
  frame/CTime.h
  frame/DllEntry.h
  frame/ModuleState.h
  frame/PlatformServices.h
  frame/QuorvelResHandle.h
  frame/QvPlatform.h
  frame/TimeZoneWatch.h
  dbf/DbfBooleanField.h
  dbf/DbfDateField.h
  dbf/DbfFloatField.h
  dbf/DbfHeader.h
  dbf/DbfNumericField.h
  dbf/DbfStringField.h
  dbf/ZDbfField.h
  dbf/ZDbfFile.h
  dbf/ZDbfRecordBuffer.h
  dbf/ZDbfSchema.h
  logs/LgaDbfFile.h
  logs/LgaSchema.h
  logs/LgeDbfFile.h
  logs/LgeSchema.h
  logs/LogRecords.h
  logs/SchemaVersion.h
  DESTINATION ${QUORVEL_HEADER_DIR})

# CMake package: Quorvel32::Quorvel32 and Quorvel32::Quorvel32Legacy, the latter carrying
# QUORVEL32_LEGACY_LAYOUT=1 to its users.
install(EXPORT Quorvel32Targets
  NAMESPACE Quorvel32::
  DESTINATION ${QUORVEL_PACKAGE_DIR})
configure_package_config_file(cmake/Quorvel32Config.cmake.in
  ${PROJECT_BINARY_DIR}/Quorvel32Config.cmake
  INSTALL_DESTINATION ${QUORVEL_PACKAGE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/Quorvel32ConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES
  ${PROJECT_BINARY_DIR}/Quorvel32Config.cmake
  ${PROJECT_BINARY_DIR}/Quorvel32ConfigVersion.cmake
  DESTINATION ${QUORVEL_PACKAGE_DIR})

# pkg-config: quorvel32.pc and quorvel32-legacy.pc. The prefix is found from the .pc file's own
# place (${pcfiledir}), so an installed tree can be moved or installed with --prefix.
if(IS_ABSOLUTE "${CMAKE_INSTALL_LIBDIR}" OR IS_ABSOLUTE "${CMAKE_INSTALL_INCLUDEDIR}")
  set(QUORVEL_PC_PREFIX "${CMAKE_INSTALL_PREFIX}")
  set(QUORVEL_PC_LIBDIR "${CMAKE_INSTALL_FULL_LIBDIR}")
  set(QUORVEL_PC_INCLUDEDIR "${CMAKE_INSTALL_FULL_INCLUDEDIR}/Quorvel32")
else()
  file(RELATIVE_PATH QUORVEL_PC_UP "/root/${CMAKE_INSTALL_LIBDIR}/pkgconfig" "/root")
  string(REGEX REPLACE "/$" "" QUORVEL_PC_UP "${QUORVEL_PC_UP}")
  set(QUORVEL_PC_PREFIX "\${pcfiledir}/${QUORVEL_PC_UP}")
  set(QUORVEL_PC_LIBDIR "\${prefix}/${CMAKE_INSTALL_LIBDIR}")
  set(QUORVEL_PC_INCLUDEDIR "\${prefix}/${QUORVEL_HEADER_DIR}")
endif()
foreach(layout current legacy)
  if(layout STREQUAL "current")
    set(QUORVEL_PC_NAME quorvel32)
    set(QUORVEL_PC_LIB Quorvel32)
    set(QUORVEL_PC_LAYOUT "current layout")
    set(QUORVEL_PC_DEFINES "")
  else()
    set(QUORVEL_PC_NAME quorvel32-legacy)
    set(QUORVEL_PC_LIB Quorvel32Legacy)
    set(QUORVEL_PC_LAYOUT "legacy layout")
    set(QUORVEL_PC_DEFINES " -DQUORVEL32_LEGACY_LAYOUT=1")
  endif()
  configure_file(cmake/quorvel32.pc.in ${PROJECT_BINARY_DIR}/${QUORVEL_PC_NAME}.pc @ONLY)
  install(FILES ${PROJECT_BINARY_DIR}/${QUORVEL_PC_NAME}.pc
    DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
endforeach()

# The quorvel tool (tools/, built under QUORVEL_BUILD_TOOLS). Its rule runs when the root
# directory has been read, so that it sees the target wherever add_subdirectory(tools) stands.
# The installed tool finds the installed library next to itself, wherever the tree is installed.
function(quorvel_install_tool)
  if(NOT TARGET quorvel)
    return()
  endif()
  if(IS_ABSOLUTE "${CMAKE_INSTALL_LIBDIR}" OR IS_ABSOLUTE "${CMAKE_INSTALL_BINDIR}")
    set(rpath "${CMAKE_INSTALL_FULL_LIBDIR}")
  else()
    file(RELATIVE_PATH bin_to_lib "/root/${CMAKE_INSTALL_BINDIR}" "/root/${CMAKE_INSTALL_LIBDIR}")
    set(rpath "$ORIGIN/${bin_to_lib}")
  endif()
  set_target_properties(quorvel PROPERTIES INSTALL_RPATH "${rpath}")
  install(TARGETS quorvel RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endfunction()
cmake_language(DEFER DIRECTORY ${PROJECT_SOURCE_DIR} CALL quorvel_install_tool)
