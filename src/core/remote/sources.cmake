# Sources of core/remote
target_sources(vorrindel_core PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/GoogleRecords.h
    ${CMAKE_CURRENT_LIST_DIR}/GoogleRecords.cpp
    ${CMAKE_CURRENT_LIST_DIR}/HexColor.h
    ${CMAKE_CURRENT_LIST_DIR}/HexColor.cpp
    ${CMAKE_CURRENT_LIST_DIR}/NotionRecords.h
    ${CMAKE_CURRENT_LIST_DIR}/NotionRecords.cpp
    ${CMAKE_CURRENT_LIST_DIR}/StrictJson.h
)
