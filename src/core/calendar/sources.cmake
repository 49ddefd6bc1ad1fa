# Sources of core/calendar: the local calendars (vdir folders read and written through libical) and
# the calendar store. libical stays inside ical/ and the .cpp files.
target_sources(vorrindel_core PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/CalendarAccess.h
    ${CMAKE_CURRENT_LIST_DIR}/CalendarFileError.h
    ${CMAKE_CURRENT_LIST_DIR}/CalendarStore.h
    ${CMAKE_CURRENT_LIST_DIR}/CalendarStore.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ItemFile.h
    ${CMAKE_CURRENT_LIST_DIR}/ItemFile.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ItemJournal.h
    ${CMAKE_CURRENT_LIST_DIR}/ItemJournal.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ItemPatch.h
    ${CMAKE_CURRENT_LIST_DIR}/ItemPatch.cpp
    ${CMAKE_CURRENT_LIST_DIR}/LocalCalendar.h
    ${CMAKE_CURRENT_LIST_DIR}/LocalCalendars.h
    ${CMAKE_CURRENT_LIST_DIR}/LocalCalendars.cpp
    ${CMAKE_CURRENT_LIST_DIR}/LocalCalendarsPrivate.h
    ${CMAKE_CURRENT_LIST_DIR}/LocalCalendarsRead.cpp
    ${CMAKE_CURRENT_LIST_DIR}/LocalCalendarsWrite.cpp
    ${CMAKE_CURRENT_LIST_DIR}/LocalEventBuilder.h
    ${CMAKE_CURRENT_LIST_DIR}/LocalEventBuilder.cpp
    ${CMAKE_CURRENT_LIST_DIR}/LocalOccurrence.h
    ${CMAKE_CURRENT_LIST_DIR}/ReadingThreads.h
    ${CMAKE_CURRENT_LIST_DIR}/ReadingThreads.cpp
    ${CMAKE_CURRENT_LIST_DIR}/VdirCollection.h
    ${CMAKE_CURRENT_LIST_DIR}/VdirCollection.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ical/EventSeries.h
    ${CMAKE_CURRENT_LIST_DIR}/ical/EventSeries.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ical/IcalFile.h
    ${CMAKE_CURRENT_LIST_DIR}/ical/IcalFile.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ical/IcalZone.h
    ${CMAKE_CURRENT_LIST_DIR}/ical/IcalZone.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ical/Recurrence.h
    ${CMAKE_CURRENT_LIST_DIR}/ical/Recurrence.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ical/ItemEdit.h
    ${CMAKE_CURRENT_LIST_DIR}/ical/ItemEdit.cpp
)
