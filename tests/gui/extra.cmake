# The window tests drive real mouse input and clicks through Qt's test module.
find_package(Qt6 REQUIRED COMPONENTS Test)
target_link_libraries(rk5_tests_gui PRIVATE Qt6::Test)
