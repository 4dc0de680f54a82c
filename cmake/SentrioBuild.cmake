# Compiler and linker settings shared by every target, and the helpers that give a deliverable its
# version resource and its numbered texts.

set(SENTRIO_RESOURCES_DIR ${CMAKE_SOURCE_DIR}/resources)
set(SENTRIO_GENERATED_DIR ${CMAKE_BINARY_DIR}/generated)
string(TIMESTAMP SENTRIO_COPYRIGHT_YEAR "%Y")
configure_file(${SENTRIO_RESOURCES_DIR}/sentrio_version.h.in ${SENTRIO_GENERATED_DIR}/sentrio_version.h @ONLY)

add_compile_options(-Wall -Wextra)
if(SENTRIO_WERROR)
  add_compile_options(-Werror)
endif()

if(WIN32)
  # ANSI entry points; Windows 7 API level; BioAPI's headers key their calling convention on WIN32.
  add_compile_definitions(WIN32 _WIN32_WINNT=0x0601 WINVER=0x0601 _CRT_SECURE_NO_WARNINGS)
  # A Notes PC has no libgcc, libstdc++ or libwinpthread DLL: the runtimes go into every image.
  add_link_options(-static -static-libgcc -static-libstdc++)
  set(CMAKE_RC_FLAGS "${CMAKE_RC_FLAGS} -I${SENTRIO_GENERATED_DIR} -I${SENTRIO_RESOURCES_DIR} -O coff")
elseif(SENTRIO_TSAN)
  # ThreadSanitizer cannot be combined with the address sanitizer: a build of its own.
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
elseif(SENTRIO_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_link_options(-fsanitize=address,undefined)
endif()

# sentrio_version_resource(<target> DESCRIPTION <text> [FILENAME <name>])
# Compiles the product's VERSIONINFO and icon into <target>.
function(sentrio_version_resource target)
  cmake_parse_arguments(V "" "DESCRIPTION;FILENAME" "" ${ARGN})
  get_target_property(type ${target} TYPE)
  if(NOT V_FILENAME)
    get_target_property(outname ${target} OUTPUT_NAME)
    if(NOT outname)
      set(outname ${target})
    endif()
    if(type STREQUAL "EXECUTABLE")
      set(V_FILENAME ${outname}.exe)
    else()
      set(V_FILENAME ${outname}.dll)
    endif()
  endif()
  if(type STREQUAL "EXECUTABLE")
    set(SENTRIO_VI_FILETYPE VFT_APP)
  else()
    set(SENTRIO_VI_FILETYPE VFT_DLL)
  endif()
  set(SENTRIO_VI_DESCRIPTION "${V_DESCRIPTION}")
  set(SENTRIO_VI_FILENAME "${V_FILENAME}")
  get_filename_component(SENTRIO_VI_INTERNAL "${V_FILENAME}" NAME_WE)
  set(rc ${SENTRIO_GENERATED_DIR}/${target}_version.rc)
  configure_file(${SENTRIO_RESOURCES_DIR}/version.rc.in ${rc} @ONLY)
  target_sources(${target} PRIVATE ${rc})
endfunction()

# sentrio_dll_manifest(<target>)
# Compiles into the DLL <target> a manifest (resource 2) naming common controls 6, which the DLL
# activates around its dialogs (support/module_activation.h), whatever the host program's own
# manifest says.
function(sentrio_dll_manifest target)
  get_target_property(outname ${target} OUTPUT_NAME)
  if(NOT outname)
    set(outname ${target})
  endif()
  set(SENTRIO_MANIFEST_NAME ${outname})
  set(SENTRIO_MANIFEST_FILE ${outname}.dll)
  set(manifest ${SENTRIO_GENERATED_DIR}/${target}.manifest)
  configure_file(${SENTRIO_RESOURCES_DIR}/dll.manifest.in ${manifest} @ONLY)
  set(rc ${SENTRIO_GENERATED_DIR}/${target}_manifest.rc)
  file(WRITE ${rc}.in "// The manifest of ${outname}.dll.\n2 24 \"${manifest}\"\n")
  configure_file(${rc}.in ${rc} COPYONLY)
  target_sources(${target} PRIVATE ${rc})
endfunction()

# sentrio_texts(<target> [INTERFACE_TEXTS] [MESSAGES] [PROCESSING_DIALOG])
# Compiles the shared resources into <target>: the interface and Key texts (2000-2542), the product
# messages (8000-8643), the processing dialog 5150 of the biometric client binding.
function(sentrio_texts target)
  cmake_parse_arguments(T "INTERFACE_TEXTS;MESSAGES;PROCESSING_DIALOG" "" "" ${ARGN})
  if(T_PROCESSING_DIALOG)
    target_sources(${target} PRIVATE ${SENTRIO_RESOURCES_DIR}/processing_dialog.rc)
  endif()
  if(T_INTERFACE_TEXTS)
    target_sources(${target} PRIVATE ${SENTRIO_RESOURCES_DIR}/texts_interface.rc)
  endif()
  if(T_MESSAGES)
    target_sources(${target} PRIVATE ${SENTRIO_RESOURCES_DIR}/texts_messages.rc)
  endif()
endfunction()

# Signing the shipped images (off unless asked for). SENTRIO_SIGN_CERT and SENTRIO_SIGN_KEY name a
# code-signing certificate and its private key (PEM); without them the build makes a self-signed
# test certificate of its own in <build>/signing/, good for trying the signing out, not for users.
option(SENTRIO_SIGN "Sign the shipped images with osslsigncode" OFF)
set(SENTRIO_SIGN_CERT "" CACHE FILEPATH "Code-signing certificate (PEM); empty: a test certificate made by the build")
set(SENTRIO_SIGN_KEY "" CACHE FILEPATH "Private key of SENTRIO_SIGN_CERT (PEM)")
if(SENTRIO_SIGN AND WIN32)
  find_program(SENTRIO_OSSLSIGNCODE osslsigncode REQUIRED)
  if(NOT SENTRIO_SIGN_CERT)
    find_program(SENTRIO_OPENSSL openssl REQUIRED)
    set(SENTRIO_SIGN_CERT ${CMAKE_BINARY_DIR}/signing/test-cert.pem)
    set(SENTRIO_SIGN_KEY ${CMAKE_BINARY_DIR}/signing/test-key.pem)
    if(NOT EXISTS ${SENTRIO_SIGN_CERT})
      file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/signing)
      execute_process(COMMAND ${SENTRIO_OPENSSL} req -x509 -newkey rsa:2048 -nodes -days 30
                              -subj "/CN=Morvath Sentrio test signing/O=Morvath"
                              -addext "extendedKeyUsage=codeSigning"
                              -keyout ${SENTRIO_SIGN_KEY} -out ${SENTRIO_SIGN_CERT}
                      RESULT_VARIABLE rc OUTPUT_QUIET ERROR_QUIET)
      if(NOT rc EQUAL 0)
        message(FATAL_ERROR "could not make the test signing certificate")
      endif()
    endif()
  endif()
endif()

# sentrio_deliverable(<target> [IMPORTS <dll>...])
# Marks <target> as one of the files that ship. Its image is stripped of symbols after the link (a
# deliverable is a few hundred KB instead of over a MB); the unstripped copy stays beside the build in
# <build>/unstripped/ for the debugger. IMPORTS names the DLLs it may import beyond the Windows system
# DLLs (nnotes, hhctrl.ocx): the import check holds every deliverable to its own list.
function(sentrio_deliverable target)
  cmake_parse_arguments(D "" "" "IMPORTS" ${ARGN})
  if(WIN32)
    add_custom_command(TARGET ${target} POST_BUILD
      COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/unstripped
      COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:${target}> ${CMAKE_BINARY_DIR}/unstripped/
      COMMAND ${CMAKE_STRIP} --strip-all $<TARGET_FILE:${target}>
      VERBATIM)
    if(SENTRIO_SIGN)
      add_custom_command(TARGET ${target} POST_BUILD
        COMMAND ${SENTRIO_OSSLSIGNCODE} sign -certs ${SENTRIO_SIGN_CERT} -key ${SENTRIO_SIGN_KEY}
                -h sha256 -n "Morvath Sentrio" -in $<TARGET_FILE:${target}> -out $<TARGET_FILE:${target}>.signed
        COMMAND ${CMAKE_COMMAND} -E rename $<TARGET_FILE:${target}>.signed $<TARGET_FILE:${target}>
        VERBATIM)
    endif()
  endif()
  string(JOIN " " imports ${D_IMPORTS})
  set_property(GLOBAL APPEND PROPERTY SENTRIO_DELIVERABLE_IMPORTS "$<TARGET_FILE_NAME:${target}> ${imports}")
endfunction()

# Writes <build>/deliverables.txt: one line per deliverable, its file name and its allowed imports.
# Called once, after every deliverable has been declared.
function(sentrio_write_deliverables)
  get_property(lines GLOBAL PROPERTY SENTRIO_DELIVERABLE_IMPORTS)
  list(JOIN lines "\n" text)
  file(GENERATE OUTPUT ${CMAKE_BINARY_DIR}/deliverables.txt CONTENT "${text}\n")
endfunction()
