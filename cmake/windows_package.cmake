# Lays out Firmware-windows-x64 and zips it (see WindowsPackage.cmake):
#   cmake -DPROGRAMS=<exe|dll> -DSAMPLES=<K20T> -DREADME=<README.txt>
#         -DSTRIP=<strip> -DSTAGE=<folder> -DZIP=<zip> -P windows_package.cmake

string(REPLACE "|" ";" PROGRAMS "${PROGRAMS}")
set(root ${STAGE}/Firmware-windows-x64)
file(REMOVE_RECURSE ${root})
file(MAKE_DIRECTORY ${root}/K20T)
foreach(program IN LISTS PROGRAMS)
  get_filename_component(name ${program} NAME)
  # The debugging information stays in the build folder.
  execute_process(COMMAND ${STRIP} --strip-unneeded -o ${root}/${name} ${program} RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "cannot strip ${program}")
  endif()
endforeach()
file(GLOB samples ${SAMPLES}/*.DPX)
file(COPY ${samples} DESTINATION ${root}/K20T)
file(COPY ${README} DESTINATION ${root})
file(REMOVE ${ZIP})
execute_process(COMMAND ${CMAKE_COMMAND} -E tar cf ${ZIP} --format=zip Firmware-windows-x64
  WORKING_DIRECTORY ${STAGE} RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "cannot write ${ZIP}")
endif()
