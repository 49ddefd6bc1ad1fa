target_sources(vorrindel_test_support PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/TempHome.h
    ${CMAKE_CURRENT_LIST_DIR}/TempHome.cpp
    ${CMAKE_CURRENT_LIST_DIR}/FakeHttpServer.h
    ${CMAKE_CURRENT_LIST_DIR}/FakeHttpServer.cpp
    ${CMAKE_CURRENT_LIST_DIR}/FakeBrowser.h
    ${CMAKE_CURRENT_LIST_DIR}/FakeBrowser.cpp
    ${CMAKE_CURRENT_LIST_DIR}/FakeGoogle.h
    ${CMAKE_CURRENT_LIST_DIR}/FakeGoogle.cpp
    ${CMAKE_CURRENT_LIST_DIR}/FakeNotion.h
    ${CMAKE_CURRENT_LIST_DIR}/FakeNotion.cpp
    ${CMAKE_CURRENT_LIST_DIR}/RemoteTestSession.h
    ${CMAKE_CURRENT_LIST_DIR}/RemoteTestSession.cpp
    ${CMAKE_CURRENT_LIST_DIR}/TaskResult.h
)
