# vestrilon-traffic-client for GUIs: one static archive holding the library
# and the modules it shares with the helper, and on Windows a DLL that exports
# the C functions alone, with an import library named the way MSVC expects.
set(vtc_objects $<TARGET_OBJECTS:vth_client> $<TARGET_OBJECTS:vth_protocol>
  $<TARGET_OBJECTS:vth_json> $<TARGET_OBJECTS:vth_common>)
if(WIN32)
  set(vtc_system_libs ws2_32 version bcrypt ole32 uuid gdi32 user32 advapi32 shell32)
else()
  find_package(Threads REQUIRED)
  set(vtc_system_libs Threads::Threads)
endif()

add_library(vestrilon-traffic-client-static STATIC ${vtc_objects})
target_include_directories(vestrilon-traffic-client-static INTERFACE "${CMAKE_SOURCE_DIR}/include")
target_compile_definitions(vestrilon-traffic-client-static INTERFACE VTC_STATIC)
target_link_libraries(vestrilon-traffic-client-static INTERFACE ${vtc_system_libs})
set_target_properties(vestrilon-traffic-client-static PROPERTIES
  OUTPUT_NAME vestrilon-traffic-client-static LINKER_LANGUAGE CXX)

if(WIN32)
  add_library(vestrilon-traffic-client SHARED ${vtc_objects})
  target_include_directories(vestrilon-traffic-client INTERFACE "${CMAKE_SOURCE_DIR}/include")
  target_link_libraries(vestrilon-traffic-client PRIVATE vth_options ${vtc_system_libs})
  set_target_properties(vestrilon-traffic-client PROPERTIES
    PREFIX "" IMPORT_PREFIX "" IMPORT_SUFFIX ".lib" LINKER_LANGUAGE CXX)
  # The list of exports, for a GUI team that makes its own import library.
  target_link_options(vestrilon-traffic-client PRIVATE
    "-Wl,--output-def,${CMAKE_CURRENT_BINARY_DIR}/vestrilon-traffic-client.def")
endif()
