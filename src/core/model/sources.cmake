# Day texts use ICU's date-pattern generator (locale-correct "weekday, month, day" orders).
find_package(ICU REQUIRED COMPONENTS i18n uc)
target_link_libraries(vorrindel_core PRIVATE ICU::i18n ICU::uc)

target_sources(vorrindel_core PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/UserFacingError.h
    ${CMAKE_CURRENT_LIST_DIR}/UserFacingError.cpp
    ${CMAKE_CURRENT_LIST_DIR}/Clock.h
    ${CMAKE_CURRENT_LIST_DIR}/Clock.cpp
    ${CMAKE_CURRENT_LIST_DIR}/DebugLog.h
    ${CMAKE_CURRENT_LIST_DIR}/DebugLog.cpp
    ${CMAKE_CURRENT_LIST_DIR}/PrivateFile.h
    ${CMAKE_CURRENT_LIST_DIR}/PrivateFile.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ProcessArguments.h
    ${CMAKE_CURRENT_LIST_DIR}/ProcessArguments.cpp
    ${CMAKE_CURRENT_LIST_DIR}/SaneDates.h
    ${CMAKE_CURRENT_LIST_DIR}/Cal.h
    ${CMAKE_CURRENT_LIST_DIR}/Cal.cpp
    ${CMAKE_CURRENT_LIST_DIR}/UserCal.h
    ${CMAKE_CURRENT_LIST_DIR}/UserCal.cpp
    ${CMAKE_CURRENT_LIST_DIR}/Tasks.h
    ${CMAKE_CURRENT_LIST_DIR}/Tasks.cpp
    ${CMAKE_CURRENT_LIST_DIR}/TextRules.h
    ${CMAKE_CURRENT_LIST_DIR}/TextRules.cpp
    ${CMAKE_CURRENT_LIST_DIR}/EventSource.h
    ${CMAKE_CURRENT_LIST_DIR}/Attendee.h
    ${CMAKE_CURRENT_LIST_DIR}/Attendee.cpp
    ${CMAKE_CURRENT_LIST_DIR}/CalEvent.h
    ${CMAKE_CURRENT_LIST_DIR}/CalEvent.cpp
    ${CMAKE_CURRENT_LIST_DIR}/Person.h
    ${CMAKE_CURRENT_LIST_DIR}/Person.cpp
    ${CMAKE_CURRENT_LIST_DIR}/MeetingLink.h
    ${CMAKE_CURRENT_LIST_DIR}/MeetingLink.cpp
    ${CMAKE_CURRENT_LIST_DIR}/Fmt.h
    ${CMAKE_CURRENT_LIST_DIR}/Fmt.cpp
)
