# Where the program's dialogs open and what they block.
target_sources(lingchao_ui PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/window_placement.cpp
    ${CMAKE_CURRENT_LIST_DIR}/window_placement.h)
