# stb_image_write (libstb-dev) for PNG output of the tool, copied like RapidJSON
# so the cross compiler never sees /usr/include.
set(VTH_STB_COPY "${CMAKE_BINARY_DIR}/third_party/stb")
if(EXISTS "/usr/include/stb/stb_image_write.h")
  file(COPY "/usr/include/stb/stb_image_write.h" DESTINATION "${VTH_STB_COPY}")
else()
  message(FATAL_ERROR "stb_image_write.h not found; run scripts/setup.sh")
endif()
add_library(vth_stb INTERFACE)
target_include_directories(vth_stb SYSTEM INTERFACE "${VTH_STB_COPY}")
