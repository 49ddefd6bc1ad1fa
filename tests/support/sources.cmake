target_sources(vorrindel_test_support PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/TempHome.h
    ${CMAKE_CURRENT_LIST_DIR}/TempHome.cpp
    ${CMAKE_CURRENT_LIST_DIR}/WallClock.h
    ${CMAKE_CURRENT_LIST_DIR}/WallClock.cpp
)
