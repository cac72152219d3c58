# One object library per engine folder, with the layers in the include path.
#
# Every folder's headers are reached as "<folder>/<file>.h" through a staging
# directory of its own (build/layers/<folder>/<folder> links to the source
# folder), so a target sees exactly the folders of its own layer and of the
# targets it links: an include of a higher layer does not compile.
#
#   tamblix_folder(<target> <folder> SOURCES <files...> [USES <targets...>])
#
# USES names the lower targets (and libraries) the folder may use; the
# folder's objects go into the shared library `tamblix`.

function(tamblix_stage_folder folder out_dir)
  set(stage ${PROJECT_BINARY_DIR}/layers/${folder})
  if(NOT EXISTS ${stage}/${folder})
    file(MAKE_DIRECTORY ${stage})
    file(CREATE_LINK ${PROJECT_SOURCE_DIR}/${folder} ${stage}/${folder} SYMBOLIC)
  endif()
  set(${out_dir} ${stage} PARENT_SCOPE)
endfunction()

function(tamblix_folder target folder)
  cmake_parse_arguments(ARG "" "" "SOURCES;USES" ${ARGN})
  add_library(${target} OBJECT ${ARG_SOURCES})
  tamblix_stage_folder(${folder} stage)
  target_include_directories(${target} PUBLIC
    $<BUILD_INTERFACE:${stage}>
    $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}/include>)
  if(ARG_USES)
    target_link_libraries(${target} PUBLIC ${ARG_USES})
  endif()
  set_property(GLOBAL APPEND PROPERTY TAMBLIX_OBJECT_TARGETS ${target})
  set_property(GLOBAL APPEND PROPERTY TAMBLIX_FOLDER_OF_${target} ${folder})
endfunction()
