target_sources(vorrindel_core PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/UserFacingError.h
    ${CMAKE_CURRENT_LIST_DIR}/UserFacingError.cpp
    ${CMAKE_CURRENT_LIST_DIR}/Clock.h
    ${CMAKE_CURRENT_LIST_DIR}/Clock.cpp
    ${CMAKE_CURRENT_LIST_DIR}/DebugLog.h
    ${CMAKE_CURRENT_LIST_DIR}/DebugLog.cpp
)
