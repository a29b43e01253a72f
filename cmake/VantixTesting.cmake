include(GoogleTest)

# vantix_add_test(<name> SOURCES ... [LIBS ...] [GL] [QT] [TIMEOUT s])
# One executable per call, run by CTest with the offscreen Qt platform, or under
# xvfb-run when it needs a real OpenGL context (GL). QT gives the tests a
# QApplication (tests/support/qt_test_main.cpp) instead of the plain main.
function(vantix_add_test name)
    cmake_parse_arguments(T "GL;QT" "TIMEOUT" "SOURCES;LIBS" ${ARGN})
    if(T_QT)
        list(APPEND T_SOURCES ${CMAKE_SOURCE_DIR}/tests/support/qt_test_main.cpp)
        list(APPEND T_LIBS Qt6::Widgets)
    endif()
    add_executable(${name} ${T_SOURCES})
    target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gmock GTest::gtest GTest::gmock_main)
    target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR}/tests)
    if(NOT T_TIMEOUT)
        set(T_TIMEOUT 300)
    endif()
    if(T_GL)
        find_program(XVFB_RUN xvfb-run REQUIRED)
        add_test(NAME ${name} COMMAND ${XVFB_RUN} -a -s "-screen 0 1600x1000x24" $<TARGET_FILE:${name}>)
        set(platform xcb)
    else()
        add_test(NAME ${name} COMMAND ${name})
        set(platform offscreen)
    endif()
    set_tests_properties(${name} PROPERTIES
        TIMEOUT ${T_TIMEOUT}
        ENVIRONMENT "QT_QPA_PLATFORM=${platform};VANTIX_COMPONENTS=${CMAKE_BINARY_DIR}/bin/vantix-components.conf;VANTIX_SOURCE_DIR=${CMAKE_SOURCE_DIR};VANTIX_TEST_TMP=${CMAKE_BINARY_DIR}/test-tmp;XDG_STATE_HOME=${CMAKE_BINARY_DIR}/test-tmp/state;XDG_CONFIG_HOME=${CMAKE_BINARY_DIR}/test-tmp/config")
endfunction()
