# The main window's action tests double-click its list through Qt's test module.
find_package(Qt6 REQUIRED COMPONENTS Test)
target_link_libraries(rk5_tests_catalogue PRIVATE Qt6::Test)
