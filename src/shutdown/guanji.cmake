# Plain C++: the shutdown sequence over hooks (the request itself is behind ShutdownRequester).
target_sources(lingchao_shutdown PRIVATE ${CMAKE_CURRENT_LIST_DIR}/guanji.cpp)
