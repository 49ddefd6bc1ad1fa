target_sources(vorrindel_devtools PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/Snapshot.h
    ${CMAKE_CURRENT_LIST_DIR}/Snapshot.cpp
    ${CMAKE_CURRENT_LIST_DIR}/SnapshotShots.cpp
    ${CMAKE_CURRENT_LIST_DIR}/CalendarDiagnostics.h
    ${CMAKE_CURRENT_LIST_DIR}/CalendarDiagnostics.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ParseDiagnostics.h
    ${CMAKE_CURRENT_LIST_DIR}/ParseDiagnostics.cpp
    ${CMAKE_CURRENT_LIST_DIR}/SampleData.h
    ${CMAKE_CURRENT_LIST_DIR}/SampleData.cpp
)
