# The school calendar's window, its entry dialog and the today-only menu items.
target_sources(lingchao_ui PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/calendar_window.cpp
    ${CMAKE_CURRENT_LIST_DIR}/calendar_window.h)
target_link_libraries(lingchao_ui PUBLIC lingchao_scheduler)
