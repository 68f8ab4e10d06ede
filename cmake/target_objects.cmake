# Compiles C and C++ sources with clang into relocatable objects for the
# platforms the tool is tested on: "ppc" (big-endian PowerPC, SHT_RELA) and
# "i386" (little-endian, SHT_REL). Each object lands in
# <output_dir>/<flavour>/<stem>.o; the list of them is returned in <result>.
find_program(QUORLIX_CLANG clang REQUIRED)

function(quorlix_target_objects result output_dir flavours)
  set(objects)
  foreach(source ${ARGN})
    get_filename_component(stem ${source} NAME_WE)
    foreach(flavour ${flavours})
      if(flavour STREQUAL "ppc")
        set(target_triple powerpc-linux-gnu)
      elseif(flavour STREQUAL "i386")
        set(target_triple i386-linux-gnu)
      else()
        message(FATAL_ERROR "unknown object flavour ${flavour}")
      endif()
      set(object ${output_dir}/${flavour}/${stem}.o)
      add_custom_command(
        OUTPUT ${object}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${output_dir}/${flavour}
        COMMAND ${QUORLIX_CLANG} --target=${target_triple} -O1 -fcommon -c ${source} -o ${object}
        DEPENDS ${source}
        VERBATIM)
      list(APPEND objects ${object})
    endforeach()
  endforeach()
  set(${result} ${objects} PARENT_SCOPE)
endfunction()
