# Checking builds: sanitizers for every target, warnings as errors, and the
# coverage instrumentation of the fuzz build. Included by the top-level
# CMakeLists.txt before any target is made, so the flags reach every target.

if(TAMBLIX_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang" OR NOT CMAKE_C_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "TAMBLIX_FUZZ needs clang (configure with CC=clang CXX=clang++)")
  endif()
  # The fuzz targets look for memory faults and undefined behaviour in the
  # engine's code too, not only in their own.
  if(TAMBLIX_SANITIZE STREQUAL "")
    set(TAMBLIX_SANITIZE "address,undefined" CACHE STRING "" FORCE)
  endif()
  # Coverage feedback from every object, the engine library included; the
  # fuzz targets themselves link with -fsanitize=fuzzer (fuzz/CMakeLists.txt).
  add_compile_options(-fsanitize=fuzzer-no-link)
endif()

if(NOT TAMBLIX_SANITIZE STREQUAL "")
  # A sanitizer build stops at the first report: a finding fails the test
  # that met it instead of scrolling past.
  add_compile_options(-fsanitize=${TAMBLIX_SANITIZE} -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_link_options(-fsanitize=${TAMBLIX_SANITIZE} -fno-sanitize-recover=all)
endif()

if(TAMBLIX_WERROR)
  add_compile_options(-Werror)
endif()
