# Checks Firmware-windows-x64.zip as a user gets it: unpacked, it holds the
# programs, TAVLIB.dll with exactly its six exports, README.txt and the
# K20T samples; every program needs no DLL but the system's; and the packed
# firmware-cli.exe runs and reads a packed sample.
#   cmake -DZIP=<zip> -DOBJDUMP=<objdump> -DWINDOW=<ON|OFF> -DRUN=<emulator|...>
#         -DCHECK_LIBRARY=<tests/usblib/check_library.cmake> -DWORK=<folder> -P check_package.cmake

file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})
execute_process(COMMAND ${CMAKE_COMMAND} -E tar xf ${ZIP} WORKING_DIRECTORY ${WORK} RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "cannot unpack ${ZIP}: build the package-zip target")
endif()
set(root ${WORK}/Firmware-windows-x64)

set(programs firmware-cli.exe TAVLIB.dll)
if(WINDOW)
  list(APPEND programs Firmware.exe)
endif()
set(samples FIRMWARE_PLAIN FONT_PLAIN FIRMWARE_MODEL FONT_MODEL FIRMWARE_90 FONT_90 FIRMWARE_MODEL_93
            FONT_MODEL_93 FIRMWARE_LARGE)
list(TRANSFORM samples APPEND .DPX)
list(TRANSFORM samples PREPEND K20T/)
foreach(file IN LISTS programs samples ITEMS README.txt)
  if(NOT EXISTS ${root}/${file})
    message(FATAL_ERROR "the package has no ${file}")
  endif()
endforeach()

# The system's own libraries: the kernel, the window and its common dialogs
# and controls, the shell, device setup, and the C library Windows carries.
set(system "^(KERNEL32|USER32|GDI32|COMCTL32|COMDLG32|SHELL32|ADVAPI32|SETUPAPI|MSVCRT|OLE32|UXTHEME)\\.DLL$")
foreach(program IN LISTS programs)
  execute_process(COMMAND ${OBJDUMP} -p ${root}/${program} OUTPUT_VARIABLE dump RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "cannot dump ${program}")
  endif()
  string(REGEX MATCHALL "DLL Name: [^\n]+" needed "${dump}")
  string(REGEX REPLACE "DLL Name: " "" needed "${needed}")
  foreach(library IN LISTS needed)
    string(TOUPPER "${library}" upper)
    if(NOT upper MATCHES "${system}")
      message(FATAL_ERROR "${program} needs ${library}, which Windows does not have")
    endif()
  endforeach()
  message(STATUS "${program} needs ${needed}")
endforeach()

execute_process(COMMAND ${CMAKE_COMMAND} -DLIBRARY=${root}/TAVLIB.dll -DTOOL=${OBJDUMP} -DKIND=pe
                        -P ${CHECK_LIBRARY} RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "the packed TAVLIB.dll does not pass its own check")
endif()

string(REPLACE "|" ";" RUN "${RUN}")
execute_process(COMMAND ${RUN} firmware-cli.exe inspect K20T\\FIRMWARE_90.DPX
  WORKING_DIRECTORY ${root} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT rc EQUAL 0 OR NOT out MATCHES "FIRMWARE_90.DPX")
  message(FATAL_ERROR "the packed firmware-cli.exe does not inspect a packed sample (${rc}):\n${out}${err}")
endif()
file(REMOVE_RECURSE ${WORK})
