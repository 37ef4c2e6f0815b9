# cartulane_com_server(<target> IDL <file.idl> RESOURCE <file.rc> SUFFIX <.dll|.ocx>
#                      SOURCES <files...> LIBRARIES <libraries...> [EXPORTS <more exports...>])
# An in-process COM server: its IDL compiled (the library <idl name>_idl carries the
# header and GUIDs; it may exist already), the type library embedded through the resource script (which says
# 1 TYPELIB "<name>.tlb"), the four exports of every server and any more, and the file suffix.
function(cartulane_com_server target)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "IDL;RESOURCE;SUFFIX" "SOURCES;LIBRARIES;EXPORTS")
  get_filename_component(idl_name ${arg_IDL} NAME_WE)
  string(TOLOWER ${idl_name}_idl idl_target)
  if(NOT TARGET ${idl_target})
    cartulane_idl(${idl_target} ${arg_IDL})
  endif()
  set(COM_SERVER_FILE ${target}${arg_SUFFIX})
  list(TRANSFORM arg_EXPORTS PREPEND "    ")
  list(TRANSFORM arg_EXPORTS APPEND " PRIVATE")
  string(JOIN "\n" COM_SERVER_EXTRA_EXPORTS ${arg_EXPORTS})
  configure_file(${PROJECT_SOURCE_DIR}/cmake/ComServer.def.in ${CMAKE_CURRENT_BINARY_DIR}/${target}.def @ONLY)
  add_library(${target} SHARED ${arg_SOURCES} ${PROJECT_SOURCE_DIR}/runtime/ServerExports.cpp ${arg_RESOURCE}
    ${CMAKE_CURRENT_BINARY_DIR}/${target}.def)
  set_target_properties(${target} PROPERTIES PREFIX "" SUFFIX ${arg_SUFFIX})
  target_include_directories(${target} PRIVATE ${CMAKE_CURRENT_BINARY_DIR})
  set_source_files_properties(${arg_RESOURCE} PROPERTIES OBJECT_DEPENDS ${CMAKE_CURRENT_BINARY_DIR}/${idl_name}.tlb)
  target_link_libraries(${target} PRIVATE ${idl_target} ${arg_LIBRARIES})
  # A library of a GUI program, not of a console one.
  target_link_options(${target} PRIVATE -Wl,--enable-stdcall-fixup -Wl,--subsystem,windows)
endfunction()
