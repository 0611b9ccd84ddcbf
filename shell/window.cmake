# The Qt window.
add_library(tessaly_window STATIC ${CMAKE_CURRENT_LIST_DIR}/window_main.cpp)
target_link_libraries(tessaly_window PUBLIC tessaly_display Qt6::Widgets)
