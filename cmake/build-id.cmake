# Read by cpack (CPACK_PROJECT_CONFIG_FILE): names the ZIP after the build
# identifier compiled into the helper it holds. It is taken from the source
# that write-build-id.cmake generated for that build, not from git now, so a
# commit or an edit after the build cannot give the ZIP another name.
if(NOT EXISTS "${CPACK_VTH_BUILD_ID_SOURCE}")
  message(FATAL_ERROR "${CPACK_VTH_BUILD_ID_SOURCE} is missing: build the tree before packaging it")
endif()
file(READ "${CPACK_VTH_BUILD_ID_SOURCE}" vth_build_id_text)
if(NOT vth_build_id_text MATCHES "return \"([^\"]+)\";")
  message(FATAL_ERROR "no build identifier in ${CPACK_VTH_BUILD_ID_SOURCE}")
endif()
set(CPACK_PACKAGE_FILE_NAME
  "${CPACK_PACKAGE_NAME}-${CPACK_PACKAGE_VERSION}-${CMAKE_MATCH_1}-${CPACK_SYSTEM_NAME}")
