# Sources of core/quickadd
target_sources(vorrindel_core PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/QuickAddDraft.h
    ${CMAKE_CURRENT_LIST_DIR}/DateDetector.h
    ${CMAKE_CURRENT_LIST_DIR}/DateDetector.cpp
    ${CMAKE_CURRENT_LIST_DIR}/QuickAddParser.h
    ${CMAKE_CURRENT_LIST_DIR}/QuickAddParser.cpp
    ${CMAKE_CURRENT_LIST_DIR}/EditPhrase.h
    ${CMAKE_CURRENT_LIST_DIR}/EditPhrase.cpp
)
