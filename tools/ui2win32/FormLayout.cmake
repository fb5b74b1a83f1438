# fw_form_layout(<target> <form.ui> <header>): generates <header>, the Win32
# control table of a Qt Designer form, with ui2win32 built for the build
# machine (with its own compiler when cross-building). <target> is an
# interface library: linking it builds the header and puts its folder on the
# include path.

set(_fw_ui2win32_source ${CMAKE_CURRENT_LIST_DIR}/ui2win32.cpp)

function(fw_form_layout target ui header)
  if(CMAKE_CROSSCOMPILING)
    set(tool ${CMAKE_BINARY_DIR}/host/ui2win32)
    if(NOT TARGET fw_ui2win32_host)
      find_program(FW_HOST_CXX NAMES c++ g++ clang++ REQUIRED)
      add_custom_command(OUTPUT ${tool}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/host
        COMMAND ${FW_HOST_CXX} -std=c++20 -O1 -Wall -Wextra -o ${tool} ${_fw_ui2win32_source}
        DEPENDS ${_fw_ui2win32_source}
        COMMENT "Building ui2win32 for the build machine")
      add_custom_target(fw_ui2win32_host DEPENDS ${tool})
    endif()
    set(depends ${tool} fw_ui2win32_host)
  else()
    if(NOT TARGET ui2win32)
      add_executable(ui2win32 ${_fw_ui2win32_source})
      fw_warnings(ui2win32)
      set_target_properties(ui2win32 PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/host)
    endif()
    set(tool $<TARGET_FILE:ui2win32>)
    set(depends ui2win32)
  endif()
  add_custom_command(OUTPUT ${header}
    COMMAND ${tool} ${ui} ${header}
    DEPENDS ${depends} ${ui}
    COMMENT "Generating the Win32 layout of ${ui}")
  add_custom_target(${target}_header DEPENDS ${header})
  add_library(${target} INTERFACE)
  get_filename_component(dir ${header} DIRECTORY)
  target_include_directories(${target} INTERFACE ${dir})
  add_dependencies(${target} ${target}_header)
endfunction()
