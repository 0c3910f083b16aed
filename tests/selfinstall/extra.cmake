# The message window tests click its buttons through Qt's test module.
find_package(Qt6 REQUIRED COMPONENTS Test)
target_link_libraries(rk5_tests_selfinstall PRIVATE Qt6::Test)
