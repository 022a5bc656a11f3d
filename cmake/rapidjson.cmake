# RapidJSON is header-only. The cross compiler must not see /usr/include (it
# would pick up glibc headers), so the headers are copied into the build tree
# and only that copy is put on the include path.
set(VTH_RAPIDJSON_SOURCE "/usr/include/rapidjson" CACHE PATH "RapidJSON header directory")
if(NOT EXISTS "${VTH_RAPIDJSON_SOURCE}/reader.h")
  message(FATAL_ERROR "RapidJSON headers not found at ${VTH_RAPIDJSON_SOURCE}; run scripts/setup.sh")
endif()
set(VTH_RAPIDJSON_COPY "${CMAKE_BINARY_DIR}/third_party/include")
file(COPY "${VTH_RAPIDJSON_SOURCE}" DESTINATION "${VTH_RAPIDJSON_COPY}")

# RapidJSON 1.1.0 compares its stack's top plus the room it needs with the
# end before the stack has memory: a null pointer plus an offset, undefined
# behaviour that clang's sanitizer reports. The copy compares the room left
# instead, as later RapidJSON releases do.
set(vth_stack_header "${VTH_RAPIDJSON_COPY}/rapidjson/internal/stack.h")
file(READ "${vth_stack_header}" vth_stack_text)
set(vth_null_offset "stackTop_ + sizeof(T) * count > stackEnd_")
set(vth_room_left "sizeof(T) * count > static_cast<size_t>(stackEnd_ - stackTop_)")
string(FIND "${vth_stack_text}" "${vth_null_offset}" vth_found)
if(NOT vth_found EQUAL -1)
  string(REPLACE "${vth_null_offset}" "${vth_room_left}" vth_stack_text "${vth_stack_text}")
  string(REPLACE "RAPIDJSON_ASSERT(stackTop_ + sizeof(T) * count <= stackEnd_);"
                 "RAPIDJSON_ASSERT(sizeof(T) * count <= static_cast<size_t>(stackEnd_ - stackTop_));"
                 vth_stack_text "${vth_stack_text}")
  file(WRITE "${vth_stack_header}" "${vth_stack_text}")
elseif(NOT vth_stack_text MATCHES "stackEnd_ - stackTop_")
  message(FATAL_ERROR "RapidJSON's stack.h is not the one this build knows; check ${vth_stack_header}")
endif()
add_library(vth_rapidjson INTERFACE)
target_include_directories(vth_rapidjson SYSTEM INTERFACE "${VTH_RAPIDJSON_COPY}")
# Without SSE the reader stays portable; RAPIDJSON_HAS_STDSTRING lets
# the writer take std::string keys.
target_compile_definitions(vth_rapidjson INTERFACE RAPIDJSON_HAS_STDSTRING=1)
