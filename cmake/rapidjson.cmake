# RapidJSON is header-only. The cross compiler must not see /usr/include (it
# would pick up glibc headers), so the headers are copied into the build tree
# and only that copy is put on the include path.
set(VTH_RAPIDJSON_SOURCE "/usr/include/rapidjson" CACHE PATH "RapidJSON header directory")
if(NOT EXISTS "${VTH_RAPIDJSON_SOURCE}/reader.h")
  message(FATAL_ERROR "RapidJSON headers not found at ${VTH_RAPIDJSON_SOURCE}; run scripts/setup.sh")
endif()
set(VTH_RAPIDJSON_COPY "${CMAKE_BINARY_DIR}/third_party/include")
file(COPY "${VTH_RAPIDJSON_SOURCE}" DESTINATION "${VTH_RAPIDJSON_COPY}")
add_library(vth_rapidjson INTERFACE)
target_include_directories(vth_rapidjson SYSTEM INTERFACE "${VTH_RAPIDJSON_COPY}")
# Without SSE the reader stays portable; RAPIDJSON_HAS_STDSTRING lets
# the writer take std::string keys.
target_compile_definitions(vth_rapidjson INTERFACE RAPIDJSON_HAS_STDSTRING=1)
