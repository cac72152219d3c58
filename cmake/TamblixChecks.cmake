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
  # Every program of a leak-checking build keeps Mesa's software driver
  # loaded until it ends (tools/sanitizer/keep_gl_driver.cpp): the leak check
  # at exit can then name the driver's own blocks, which
  # tools/sanitizer/lsan.supp suppresses. Linked into the programs by
  # tamblix_keep_gl_driver_in_programs() once every target exists.
  if(TAMBLIX_SANITIZE MATCHES "address|leak" AND NOT TAMBLIX_FUZZ)
    add_library(tamblix_keep_gl_driver OBJECT ${CMAKE_CURRENT_LIST_DIR}/../tools/sanitizer/keep_gl_driver.cpp)
    target_link_libraries(tamblix_keep_gl_driver PUBLIC ${CMAKE_DL_LIBS})
  endif()
endif()

if(TAMBLIX_WERROR)
  add_compile_options(-Werror)
endif()

# Links tamblix_keep_gl_driver (when it exists) into every executable below
# `dir` (default: the whole project).
function(tamblix_keep_gl_driver_in_programs)
  if(NOT TARGET tamblix_keep_gl_driver)
    return()
  endif()
  set(dirs ${CMAKE_CURRENT_SOURCE_DIR})
  while(dirs)
    list(POP_FRONT dirs dir)
    get_property(targets DIRECTORY ${dir} PROPERTY BUILDSYSTEM_TARGETS)
    foreach(t ${targets})
      get_target_property(type ${t} TYPE)
      if(type STREQUAL "EXECUTABLE")
        target_link_libraries(${t} PRIVATE tamblix_keep_gl_driver)
      endif()
    endforeach()
    get_property(sub DIRECTORY ${dir} PROPERTY SUBDIRECTORIES)
    list(APPEND dirs ${sub})
  endwhile()
endfunction()
