# The window drawn by Qt, on the offscreen platform. The tests write pictures
# of the window into this build folder.
find_package(Qt6 REQUIRED COMPONENTS Test)

add_executable(dorvane_ui_qt_tests qt_test_main.cpp about_dialog_test.cpp)
target_link_libraries(dorvane_ui_qt_tests PRIVATE dorvane_ui_qt dorvane_test_support Qt6::Test GTest::gtest)
target_compile_definitions(dorvane_ui_qt_tests PRIVATE DORVANE_UI_PICTURES="${CMAKE_CURRENT_BINARY_DIR}")
dorvane_warnings(dorvane_ui_qt_tests)
gtest_discover_tests(dorvane_ui_qt_tests PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen")

# Without a usable display the program must say so instead of aborting.
add_executable(dorvane_ui_qt_nodisplay_tests no_display_test.cpp)
target_link_libraries(dorvane_ui_qt_nodisplay_tests PRIVATE dorvane_ui_qt dorvane_test_support GTest::gtest_main)
dorvane_warnings(dorvane_ui_qt_nodisplay_tests)
gtest_discover_tests(dorvane_ui_qt_nodisplay_tests)
