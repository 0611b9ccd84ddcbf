# Console front end (no Qt).
add_library(tessaly_console STATIC ${CMAKE_CURRENT_LIST_DIR}/console_stub.cpp)
target_link_libraries(tessaly_console PUBLIC tessaly_display)
