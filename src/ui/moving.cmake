# Files brought from another computer: the tidy table of music paths and the import of the old program's folder.
target_sources(lingchao_ui PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/tidy_dialog.cpp
    ${CMAKE_CURRENT_LIST_DIR}/tidy_dialog.h
    ${CMAKE_CURRENT_LIST_DIR}/moving_commands.cpp
    ${CMAKE_CURRENT_LIST_DIR}/moving_commands.h)
target_link_libraries(lingchao_ui PUBLIC lingchao_music lingchao_player)
