# Sources of core/remote
target_sources(vorrindel_core PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/GoogleRecords.h
    ${CMAKE_CURRENT_LIST_DIR}/GoogleRecords.cpp
    ${CMAKE_CURRENT_LIST_DIR}/HexColor.h
    ${CMAKE_CURRENT_LIST_DIR}/HexColor.cpp
    ${CMAKE_CURRENT_LIST_DIR}/NotionRecords.h
    ${CMAKE_CURRENT_LIST_DIR}/NotionRecords.cpp
    ${CMAKE_CURRENT_LIST_DIR}/TransportError.h
    ${CMAKE_CURRENT_LIST_DIR}/TransportError.cpp
    ${CMAKE_CURRENT_LIST_DIR}/RemoteSession.h
    ${CMAKE_CURRENT_LIST_DIR}/RemoteSession.cpp
    ${CMAKE_CURRENT_LIST_DIR}/RemoteHttp.h
    ${CMAKE_CURRENT_LIST_DIR}/RemoteHttp.cpp
    ${CMAKE_CURRENT_LIST_DIR}/Rfc3339.h
    ${CMAKE_CURRENT_LIST_DIR}/Rfc3339.cpp
    ${CMAKE_CURRENT_LIST_DIR}/PKCE.h
    ${CMAKE_CURRENT_LIST_DIR}/PKCE.cpp
    ${CMAKE_CURRENT_LIST_DIR}/LoopbackPage.h
    ${CMAKE_CURRENT_LIST_DIR}/LoopbackPage.cpp
    ${CMAKE_CURRENT_LIST_DIR}/LoopbackServer.h
    ${CMAKE_CURRENT_LIST_DIR}/LoopbackServer.cpp
    ${CMAKE_CURRENT_LIST_DIR}/GoogleAPI.h
    ${CMAKE_CURRENT_LIST_DIR}/GoogleAPI.cpp
    ${CMAKE_CURRENT_LIST_DIR}/GoogleAPIEvents.cpp
    ${CMAKE_CURRENT_LIST_DIR}/GoogleAPIWrites.cpp
)
