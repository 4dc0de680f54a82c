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

# sentrio_nnotes_def_lines(<out var>)
# The EXPORTS lines for the list: by ordinal only (NONAME); on 32-bit Windows with the stdcall
# decoration "@<bytes>" that the compiler gives the names.
function(sentrio_nnotes_def_lines out)
  set(lines "")
  foreach(entry ${SENTRIO_NNOTES_IMPORTS})
    string(REPLACE ":" ";" parts ${entry})
    list(GET parts 0 name)
    list(GET parts 1 bytes)
    list(GET parts 2 ordinal)
    if(CMAKE_SIZEOF_VOID_P EQUAL 4)
      string(APPEND lines "  ${name}@${bytes} @${ordinal} NONAME\n")
    else()
      string(APPEND lines "  ${name} @${ordinal} NONAME\n")
    endif()
  endforeach()
  set(${out} "${lines}" PARENT_SCOPE)
endfunction()
