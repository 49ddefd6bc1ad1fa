target_sources(vorrindel_test_support PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/TempHome.h
    ${CMAKE_CURRENT_LIST_DIR}/TempHome.cpp
    ${CMAKE_CURRENT_LIST_DIR}/TestFiles.h
    ${CMAKE_CURRENT_LIST_DIR}/TestFiles.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ManualClock.h
    ${CMAKE_CURRENT_LIST_DIR}/ManualClock.cpp
    ${CMAKE_CURRENT_LIST_DIR}/TestEvents.h
    ${CMAKE_CURRENT_LIST_DIR}/TestEvents.cpp
    ${CMAKE_CURRENT_LIST_DIR}/WallClock.h
    ${CMAKE_CURRENT_LIST_DIR}/WallClock.cpp
)
