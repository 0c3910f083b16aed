# The loopback HTTP server in tests/support/ is built on Qt Network, which only tests use.
find_package(Qt6 REQUIRED COMPONENTS Network)
target_link_libraries(rk5_test_support PUBLIC Qt6::Network)
