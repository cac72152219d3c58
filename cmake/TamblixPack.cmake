# tamblix_pack_media(<target> <file>... [OUTPUT <name>] [DEPENDS <target>...])
#
# Builds <name> (default: <target>-packed) beside the program <target>: a copy
# of it with the files packed onto its end as the media archive the engine
# looks into for every file it does not find on disk. A target of the same
# name builds it with everything else. Entries are the files' plain names (the
# engine finds them by the last component of a requested name, ignoring
# case); two files of the same name ignoring case are refused. DEPENDS names
# targets that make the files (generated media); after the keywords, the
# files may follow a FILES keyword.
#
# The packer is the target Tamblix::pack: the installed `pack` tool after
# find_package(Tamblix), or the one built in the engine's own tree.
function(tamblix_pack_media target)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "OUTPUT" "DEPENDS;FILES")
  set(files ${arg_UNPARSED_ARGUMENTS} ${arg_FILES})
  if(NOT files)
    message(FATAL_ERROR "tamblix_pack_media(${target}): no files to pack")
  endif()
  if(NOT arg_OUTPUT)
    set(arg_OUTPUT ${target}-packed)
  endif()
  if(DEFINED TAMBLIX_PACK_TOOL)
    set(tool ${TAMBLIX_PACK_TOOL})
  else()
    set(tool Tamblix::pack)
  endif()

  # The files are read through "-C <folder> <name>" pairs: the archive keeps
  # plain names.
  set(args)
  set(deps)
  set(last_dir "")
  foreach(f IN LISTS files)
    get_filename_component(abs "${f}" ABSOLUTE BASE_DIR "${CMAKE_CURRENT_SOURCE_DIR}")
    get_filename_component(dir "${abs}" DIRECTORY)
    get_filename_component(name "${abs}" NAME)
    if(NOT dir STREQUAL last_dir)
      list(APPEND args -C "${dir}")
      set(last_dir "${dir}")
    endif()
    list(APPEND args "${name}")
    list(APPEND deps "${abs}")
  endforeach()

  get_target_property(out_dir ${target} RUNTIME_OUTPUT_DIRECTORY)
  if(NOT out_dir)
    get_target_property(out_dir ${target} BINARY_DIR)
  endif()
  set(out "${out_dir}/${arg_OUTPUT}")
  add_custom_command(OUTPUT "${out}"
    COMMAND "$<TARGET_FILE:${tool}>" add "$<TARGET_FILE:${target}>" ${args} -o "${out}"
    DEPENDS ${target} ${tool} ${deps}
    COMMENT "Packing the media onto ${arg_OUTPUT}"
    VERBATIM)
  add_custom_target(${arg_OUTPUT} ALL DEPENDS "${out}")
  if(arg_DEPENDS)
    add_dependencies(${arg_OUTPUT} ${arg_DEPENDS})
  endif()
endfunction()
