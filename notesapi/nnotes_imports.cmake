# The Notes C API functions the product calls, as "name:bytes of arguments:ordinal". One list for
# the product's import library (notesapi/CMakeLists.txt) and the nnotes.dll stand-in's exports
# (sim/notes/CMakeLists.txt), so the two cannot drift apart.
set(SENTRIO_NNOTES_IMPORTS
  NotesInitIni:4:12
  NotesTerm:0:13
  OSSetEnvironmentVariable:8:401
  OSGetEnvironmentString:12:416
  OSLoadString:16:707
  SECKFMGetUserName:4:1562
  SECKFMChangePassword:12:1667
  SECKFMSwitchToIDFile:24:1747
  NSFDbClose:4:2001
  NSFDbOpen:8:2005
  NSFDbGetBuildVersion:8:2024
  EMRegister:20:2348
  EMDeregister:4:2349
  EMCreateRecursionID:4:2394)

# sentrio_nnotes_def_lines(<out var> [OTHER_CONVENTION])
# The EXPORTS lines for the list. On 32-bit Windows by ordinal only (NONAME), with the stdcall
# decoration "@<bytes>" that the compiler gives the names, as the toolkit's notes.lib imports them.
# On 64-bit Windows by name: the ordinals are those of the 32-bit library, and nothing public says
# the 64-bit library keeps them, while its names are the API's own. OTHER_CONVENTION gives the
# lines the other way round (by name on 32-bit, by ordinal on 64-bit), for the test that the
# import check refuses an image made so.
function(sentrio_nnotes_def_lines out)
  cmake_parse_arguments(D "OTHER_CONVENTION" "" "" ${ARGN})
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(by_ordinal TRUE)
  else()
    set(by_ordinal FALSE)
  endif()
  if(D_OTHER_CONVENTION)
    if(by_ordinal)
      set(by_ordinal FALSE)
    else()
      set(by_ordinal TRUE)
    endif()
  endif()
  set(lines "")
  foreach(entry ${SENTRIO_NNOTES_IMPORTS})
    string(REPLACE ":" ";" parts ${entry})
    list(GET parts 0 name)
    list(GET parts 1 bytes)
    list(GET parts 2 ordinal)
    if(CMAKE_SIZEOF_VOID_P EQUAL 4)
      set(name "${name}@${bytes}")
    endif()
    if(by_ordinal)
      string(APPEND lines "  ${name} @${ordinal} NONAME\n")
    else()
      string(APPEND lines "  ${name}\n")
    endif()
  endforeach()
  set(${out} "${lines}" PARENT_SCOPE)
endfunction()

# sentrio_nnotes_import_library(<target> [OTHER_CONVENTION])
# An INTERFACE library <target> that links the import library of nnotes.dll made from the list.
function(sentrio_nnotes_import_library target)
  sentrio_nnotes_def_lines(lines ${ARGN})
  set(def ${CMAKE_CURRENT_BINARY_DIR}/${target}.def)
  file(WRITE ${def}.in "LIBRARY nnotes.dll\nEXPORTS\n${lines}")
  configure_file(${def}.in ${def} COPYONLY)
  # dlltool of the same toolchain as the compiler (CMake finds it beside the cross compiler).
  if(CMAKE_DLLTOOL)
    set(dlltool ${CMAKE_DLLTOOL})
  else()
    find_program(SENTRIO_DLLTOOL NAMES ${CMAKE_SYSTEM_PROCESSOR}-w64-mingw32-dlltool REQUIRED)
    set(dlltool ${SENTRIO_DLLTOOL})
  endif()
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(machine i386)
  else()
    set(machine i386:x86-64)
  endif()
  set(lib ${CMAKE_CURRENT_BINARY_DIR}/lib${target}.a)
  add_custom_command(OUTPUT ${lib}
    COMMAND ${dlltool} -m ${machine} -d ${def} -l ${lib}
    DEPENDS ${def}
    COMMENT "Import library of nnotes.dll (${target})")
  add_custom_target(${target}_lib DEPENDS ${lib})
  add_library(${target} INTERFACE)
  target_link_libraries(${target} INTERFACE ${lib})
  add_dependencies(${target} ${target}_lib)
endfunction()
