# cartulane_idl(<target> <file.idl> [NO_TYPELIB]): compiles an IDL file with widl into
# <name>_h.h, <name>_i.c and (unless NO_TYPELIB) <name>.tlb in the current binary folder,
# and makes <target> a library that carries them (include folder and GUID definitions).
set(WINE_IDL_INCLUDE /usr/include/wine/wine/windows)
set(WINE_STDOLE_FOLDER /usr/lib/x86_64-linux-gnu/wine/x86_64-windows)

function(cartulane_idl target idl)
  cmake_parse_arguments(PARSE_ARGV 2 arg "NO_TYPELIB" "" "")
  get_filename_component(name ${idl} NAME_WE)
  set(out ${CMAKE_CURRENT_BINARY_DIR})
  set(typelib -t -T ${out}/${name}.tlb)
  set(outputs ${out}/${name}_h.h ${out}/${name}_i.c ${out}/${name}.tlb)
  if(arg_NO_TYPELIB)
    set(typelib)
    set(outputs ${out}/${name}_h.h ${out}/${name}_i.c)
  endif()
  if(CMAKE_SYSTEM_PROCESSOR STREQUAL "x86")
    set(bits --win32)
  else()
    set(bits --win64)
  endif()
  add_custom_command(
    OUTPUT ${outputs}
    COMMAND ${WIDL_EXECUTABLE} ${bits} -I${WINE_IDL_INCLUDE} -L${WINE_STDOLE_FOLDER}
            -h -H ${out}/${name}_h.h -u -U ${out}/${name}_i.c ${typelib}
            ${CMAKE_CURRENT_SOURCE_DIR}/${idl}
    DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${idl}
    COMMENT "widl ${idl}")
  add_custom_target(${target}_generated DEPENDS ${outputs})
  add_library(${target} STATIC ${out}/${name}_i.c)
  add_dependencies(${target} ${target}_generated)
  target_include_directories(${target} PUBLIC ${out})
endfunction()
