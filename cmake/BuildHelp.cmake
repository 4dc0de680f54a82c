# Builds Sentrio.CHM from the HTML sources in docs/help with chmcmd (Free Pascal's CHM compiler).
# Run as a script: cmake -DCHMCMD=... -DSOURCE_DIR=docs/help -DWORK_DIR=<build>/help
#                        -DOUTPUT=<build>/bin/Sentrio.CHM -P BuildHelp.cmake
#
# chmcmd 3.2 writes the topic of each context number as the topic's absolute path on the build
# machine ("/home/.../help/src/console.htm") instead of its path inside the help file
# ("/console.htm"), so HtmlHelp's HH_HELP_CONTEXT would find no page. Each topic is therefore also
# stored under that absolute path inside the help file (a copy under src/<absolute path of src>),
# where the context table points. Should a later chmcmd write the right path, the topic at the top
# is found just as well.
cmake_minimum_required(VERSION 3.25)
foreach(var CHMCMD SOURCE_DIR WORK_DIR OUTPUT)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "BuildHelp: ${var} not set")
  endif()
endforeach()

set(src ${WORK_DIR}/src)
file(REMOVE_RECURSE ${src})
file(MAKE_DIRECTORY ${src})
file(GLOB pages RELATIVE ${SOURCE_DIR} ${SOURCE_DIR}/*.htm)
list(SORT pages)
set(payload ${pages} sentrio.css toc.hhc Cshelp.txt context.h)
foreach(f ${payload})
  file(COPY ${SOURCE_DIR}/${f} DESTINATION ${src})
endforeach()

string(REGEX REPLACE "^/" "" deep "${src}")
file(MAKE_DIRECTORY ${src}/${deep})
set(files "")
foreach(f ${pages} sentrio.css)
  file(COPY ${SOURCE_DIR}/${f} DESTINATION ${src}/${deep})
  string(APPEND files "${f}\n")
endforeach()
string(APPEND files "Cshelp.txt\n")
foreach(f ${pages} sentrio.css)
  string(APPEND files "${deep}/${f}\n")
endforeach()

file(READ ${SOURCE_DIR}/aliases.txt aliases)
file(WRITE ${src}/Sentrio.hhp
  "[OPTIONS]\n"
  "Compiled file=Sentrio.CHM\n"
  "Contents file=toc.hhc\n"
  "Default topic=index.htm\n"
  "Title=Morvath Sentrio Help\n"
  "Language=0x409 English (United States)\n"
  "\n[ALIAS]\n${aliases}"
  "\n[MAP]\n#include context.h\n"
  "\n[TEXT POPUPS]\nCshelp.txt\n"
  "\n[FILES]\n${files}")

execute_process(COMMAND ${CHMCMD} --no-html-scan Sentrio.hhp
                WORKING_DIRECTORY ${src} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(NOT rc EQUAL 0 OR NOT EXISTS ${src}/Sentrio.CHM OR out MATCHES "corrupt|exception|not found")
  message(FATAL_ERROR "chmcmd failed (${rc}):\n${out}")
endif()
get_filename_component(outdir ${OUTPUT} DIRECTORY)
file(MAKE_DIRECTORY ${outdir})
file(COPY_FILE ${src}/Sentrio.CHM ${OUTPUT})
