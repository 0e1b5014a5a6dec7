# Reading iCalendar files (.ics) for the school calendar, through libical.
find_package(PkgConfig REQUIRED)
pkg_check_modules(LIBICAL REQUIRED IMPORTED_TARGET libical)
target_sources(lingchao_platform PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/ical_import.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ical_import.h)
target_link_libraries(lingchao_platform PUBLIC lingchao_scheduler PRIVATE PkgConfig::LIBICAL)
