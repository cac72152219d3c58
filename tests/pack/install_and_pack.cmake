# Installs the engine into a scratch prefix, builds a program that packs its
# media with the installed tamblix_pack_media, and checks the result with the
# installed pack tool.
file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR})
set(prefix ${WORK_DIR}/prefix)
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix}
  RESULT_VARIABLE rc OUTPUT_QUIET)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "install failed: ${rc}")
endif()
if(NOT EXISTS ${prefix}/bin/pack)
  message(FATAL_ERROR "the pack tool was not installed")
endif()
# A sanitizer build's library needs the sanitizer runtime in the program.
set(consumer_flags)
if(SANITIZE)
  set(consumer_flags "-DCMAKE_CXX_FLAGS=-fsanitize=${SANITIZE}" "-DCMAKE_EXE_LINKER_FLAGS=-fsanitize=${SANITIZE}")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} -S ${CONSUMER_DIR} -B ${WORK_DIR}/build
    -DCMAKE_PREFIX_PATH=${prefix} ${consumer_flags}
  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "configuring the consumer failed:\n${out}")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} --build ${WORK_DIR}/build
  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "building the consumer failed:\n${out}")
endif()
# The packing step ran the installed tool.
if(NOT out MATCHES "Packing the media onto mygame-packed")
  message(FATAL_ERROR "no packing step:\n${out}")
endif()
file(READ ${WORK_DIR}/build/CMakeFiles/mygame-packed.dir/build.make text)
string(FIND "${text}" "${prefix}/bin/pack" at)
if(at EQUAL -1)
  message(FATAL_ERROR "the packing step does not run ${prefix}/bin/pack")
endif()

execute_process(COMMAND ${WORK_DIR}/build/mygame-packed
  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT rc EQUAL 0 OR NOT out STREQUAL "packed 2 files\n")
  message(FATAL_ERROR "the packed program failed (${rc}):\n${out}\n${err}")
endif()
execute_process(COMMAND ${prefix}/bin/pack check ${WORK_DIR}/build/mygame-packed
  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
set(expected "ok       hello.txt\nok       level1.txt\n2 entries unpack to their recorded sizes\n")
if(NOT rc EQUAL 0 OR NOT out STREQUAL expected)
  message(FATAL_ERROR "pack check (${rc}):\n${out}\n${err}")
endif()
execute_process(COMMAND ${prefix}/bin/pack extract ${WORK_DIR}/build/mygame-packed ${WORK_DIR}/out
  RESULT_VARIABLE rc OUTPUT_QUIET)
foreach(f media/hello.txt level1.txt)
  get_filename_component(name ${f} NAME)
  if(f STREQUAL "level1.txt")
    file(READ ${WORK_DIR}/build/${f} want HEX)
  else()
    file(READ ${CONSUMER_DIR}/${f} want HEX)
  endif()
  file(READ ${WORK_DIR}/out/${name} got HEX)
  if(NOT want STREQUAL got)
    message(FATAL_ERROR "${f} does not come back as packed")
  endif()
endforeach()
