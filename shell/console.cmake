# The four lists saved as files (no Qt): the console's --save and the window's menu entry.
add_library(tessaly_save_lists STATIC ${CMAKE_CURRENT_LIST_DIR}/save_lists.cpp)
target_link_libraries(tessaly_save_lists PUBLIC tessaly_display)

# Console front end (no Qt): options, escaping and the console loop over MonitorCore, and the
# RtMidi service the program runs on.
tessaly_front_end(tessaly_console
  console_commands.cpp
  console_options.cpp
  console_frontend.cpp
  run_report.cpp
  json_lines.cpp
  record_option.cpp
)
target_link_libraries(tessaly_console PUBLIC tessaly_display tessaly_host_input tessaly_save_lists)
