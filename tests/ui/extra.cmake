# The window tests drive real mouse input through Qt's test module.
find_package(Qt6 REQUIRED COMPONENTS Test)
target_link_libraries(rk5_tests_ui PRIVATE Qt6::Test)
