add_library(vth_options INTERFACE)
target_compile_features(vth_options INTERFACE cxx_std_23)
target_compile_options(vth_options INTERFACE
  -Wall -Wextra -Wpedantic -Wconversion -Wsign-conversion -Wshadow -Werror)
if(WIN32)
  target_compile_definitions(vth_options INTERFACE UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX
    _WIN32_WINNT=0x0A00 WINVER=0x0A00)
endif()
if(VTH_SANITIZE)
  target_compile_options(vth_options INTERFACE -fsanitize=address,undefined -fno-omit-frame-pointer
    -fno-sanitize-recover=all)
  target_link_options(vth_options INTERFACE -fsanitize=address,undefined)
endif()
if(VTH_TSAN)
  target_compile_options(vth_options INTERFACE -fsanitize=thread -fno-omit-frame-pointer)
  target_link_options(vth_options INTERFACE -fsanitize=thread)
endif()
if(VTH_FUZZ)
  # Every library is instrumented for coverage, not just the fuzz entry
  # points; the targets themselves add the libFuzzer main.
  # Undefined behaviour stops the run like a crash, so no finding scrolls by.
  target_compile_options(vth_options INTERFACE -fsanitize=fuzzer-no-link,address,undefined
    -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  target_link_options(vth_options INTERFACE -fsanitize=address,undefined)
endif()
if(WIN32)
  # Static runtime: the .exe needs no DLL beside it.
  target_link_options(vth_options INTERFACE -static -static-libgcc -static-libstdc++)
endif()
