# Message boxes and file dialogs as Qt widgets.
target_sources(lingchao_platform PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/qt_dialogs.cpp
    ${CMAKE_CURRENT_LIST_DIR}/qt_dialogs.h)
target_link_libraries(lingchao_platform PUBLIC Qt6::Widgets)
