# Sources of core/quickadd
target_sources(vorrindel_core PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/QuickAddDraft.h
    ${CMAKE_CURRENT_LIST_DIR}/DateDetector.h
    ${CMAKE_CURRENT_LIST_DIR}/DateDetector.cpp
    ${CMAKE_CURRENT_LIST_DIR}/QuickAddParser.h
    ${CMAKE_CURRENT_LIST_DIR}/QuickAddParser.cpp
    ${CMAKE_CURRENT_LIST_DIR}/EditPhrase.h
    ${CMAKE_CURRENT_LIST_DIR}/EditPhrase.cpp
    ${CMAKE_CURRENT_LIST_DIR}/QuickAddState.h
    ${CMAKE_CURRENT_LIST_DIR}/QuickAddState.cpp
    ${CMAKE_CURRENT_LIST_DIR}/QuickAddEnv.h
    ${CMAKE_CURRENT_LIST_DIR}/QuickAddStoreEnv.h
    ${CMAKE_CURRENT_LIST_DIR}/QuickAddStoreEnv.cpp
    ${CMAKE_CURRENT_LIST_DIR}/QuickAddDerived.h
    ${CMAKE_CURRENT_LIST_DIR}/QuickAddDerived.cpp
    ${CMAKE_CURRENT_LIST_DIR}/QuickAddGuests.h
    ${CMAKE_CURRENT_LIST_DIR}/QuickAddGuests.cpp
    ${CMAKE_CURRENT_LIST_DIR}/QuickAddTransition.h
    ${CMAKE_CURRENT_LIST_DIR}/QuickAddTransition.cpp
    ${CMAKE_CURRENT_LIST_DIR}/QuickAddPanel.h
    ${CMAKE_CURRENT_LIST_DIR}/QuickAddOutbox.h
    ${CMAKE_CURRENT_LIST_DIR}/QuickAddOutbox.cpp
    ${CMAKE_CURRENT_LIST_DIR}/QuickAddModel.h
    ${CMAKE_CURRENT_LIST_DIR}/QuickAddModel.cpp
)
