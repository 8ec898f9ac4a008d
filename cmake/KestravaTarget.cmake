# One place for the flags every target of the project gets: the warning list,
# -Werror behind KESTRAVA_WERROR, and the sanitizers.

set(KESTRAVA_WARNINGS -Wall -Wextra -Wconversion -Wold-style-cast)

set(KESTRAVA_SANITIZER_FLAGS "")
if(KESTRAVA_SANITIZE AND KESTRAVA_TSAN)
  message(FATAL_ERROR "KESTRAVA_SANITIZE and KESTRAVA_TSAN cannot be combined")
endif()
if(KESTRAVA_FUZZ)
  # Coverage for libFuzzer in every target; the fuzzers themselves add the
  # fuzzer runtime (tests/CMakeLists.txt).
  set(KESTRAVA_SANITIZER_FLAGS -fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
elseif(KESTRAVA_SANITIZE)
  set(KESTRAVA_SANITIZER_FLAGS -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
elseif(KESTRAVA_TSAN)
  set(KESTRAVA_SANITIZER_FLAGS -fsanitize=thread -fno-omit-frame-pointer)
endif()

# kestrava_target(<target>): applies the project's warnings and sanitizer
# flags to a target of our own (never to third-party code).
function(kestrava_target target)
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "INTERFACE_LIBRARY")
    return()
  endif()
  target_compile_options(${target} PRIVATE
    $<$<COMPILE_LANGUAGE:CXX>:${KESTRAVA_WARNINGS}>
    $<$<BOOL:${KESTRAVA_WERROR}>:-Werror>
    ${KESTRAVA_SANITIZER_FLAGS})
  if(KESTRAVA_SANITIZER_FLAGS)
    target_link_options(${target} PRIVATE ${KESTRAVA_SANITIZER_FLAGS})
  endif()
endfunction()

# kestrava_library(<name> SOURCES ... [PUBLIC_LIBS ...] [PRIVATE_LIBS ...])
# One static library per folder of src/; its headers are included as
# "<folder>/<header>.h" relative to src/.
function(kestrava_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;PUBLIC_LIBS;PRIVATE_LIBS" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  target_link_libraries(${name} PUBLIC ${ARG_PUBLIC_LIBS} PRIVATE ${ARG_PRIVATE_LIBS})
  set_target_properties(${name} PROPERTIES POSITION_INDEPENDENT_CODE ON)
  kestrava_target(${name})
endfunction()
