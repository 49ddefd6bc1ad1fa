target_sources(vorrindel_core PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/StoreTimer.h
    ${CMAKE_CURRENT_LIST_DIR}/StoreTimer.cpp
    ${CMAKE_CURRENT_LIST_DIR}/AlertSound.h
    ${CMAKE_CURRENT_LIST_DIR}/WakeNotifier.h
    ${CMAKE_CURRENT_LIST_DIR}/DayMap.h
    ${CMAKE_CURRENT_LIST_DIR}/DayMap.cpp
    ${CMAKE_CURRENT_LIST_DIR}/PeekInfo.h
    ${CMAKE_CURRENT_LIST_DIR}/PeekInfo.cpp
    ${CMAKE_CURRENT_LIST_DIR}/MeetingAlert.h
    ${CMAKE_CURRENT_LIST_DIR}/MeetingAlert.cpp
    ${CMAKE_CURRENT_LIST_DIR}/PeopleDirectory.h
    ${CMAKE_CURRENT_LIST_DIR}/PeopleDirectory.cpp
    ${CMAKE_CURRENT_LIST_DIR}/FreeSlots.h
    ${CMAKE_CURRENT_LIST_DIR}/FreeSlots.cpp
)
