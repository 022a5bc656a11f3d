# Writes build_id.cpp with the short commit (and "-dirty" for a modified tree),
# or "unknown" outside a checkout. Rewrites only on change to avoid rebuilds.
execute_process(COMMAND git -C "${SRC}" rev-parse --short HEAD
  OUTPUT_VARIABLE id OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE rc ERROR_QUIET)
if(NOT rc EQUAL 0 OR id STREQUAL "")
  set(id "unknown")
else()
  execute_process(COMMAND git -C "${SRC}" status --porcelain --untracked-files=no
    OUTPUT_VARIABLE dirty OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  if(NOT dirty STREQUAL "")
    set(id "${id}-dirty")
  endif()
endif()
set(text "// Generated at build time.\n#include \"common/build_id.hpp\"\nnamespace vth {\nconst char* build_id() noexcept { return \"${id}\"; }\n}  // namespace vth\n")
if(EXISTS "${OUT}")
  file(READ "${OUT}" old)
endif()
if(NOT "${old}" STREQUAL "${text}")
  file(WRITE "${OUT}" "${text}")
endif()

# The same identifier for the resource compiler, which reads the helper's
# version resource from it.
if(DEFINED OUT_RC)
  set(rc_text "/* Generated at build time. */\n#define VTH_BUILD_ID_TEXT \"${id}\"\n")
  if(EXISTS "${OUT_RC}")
    file(READ "${OUT_RC}" old_rc)
  endif()
  if(NOT "${old_rc}" STREQUAL "${rc_text}")
    file(WRITE "${OUT_RC}" "${rc_text}")
  endif()
endif()
