# The four lists saved as files (no Qt): the console's --save and the window's menu entry.
add_library(tessaly_save_lists STATIC ${CMAKE_CURRENT_LIST_DIR}/save_lists.cpp)
target_link_libraries(tessaly_save_lists PUBLIC tessaly_display)

# Console front end (no Qt): options, escaping and the console loop over MonitorCore, and the
# RtMidi service the program runs on.
add_library(tessaly_console STATIC
  ${CMAKE_CURRENT_LIST_DIR}/console_commands.cpp
  ${CMAKE_CURRENT_LIST_DIR}/console_options.cpp
  ${CMAKE_CURRENT_LIST_DIR}/console_frontend.cpp
  ${CMAKE_CURRENT_LIST_DIR}/run_report.cpp
  ${CMAKE_CURRENT_LIST_DIR}/json_lines.cpp
  ${CMAKE_CURRENT_LIST_DIR}/record_option.cpp
)
target_include_directories(tessaly_console PRIVATE ${CMAKE_BINARY_DIR}/generated)
target_link_libraries(tessaly_console PUBLIC tessaly_display tessaly_host_input tessaly_save_lists)
