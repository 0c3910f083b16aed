# The archive fuzz target, built with clang when RK5_FUZZ is on:
#   CC=clang CXX=clang++ scripts/build.sh build-fuzz -DRK5_FUZZ=ON -DRK5_BENCH=OFF
# It compiles the extraction and the platform pieces it writes through itself and links
# only libzip and zlib, so nothing built with another compiler (Qt) comes into it.
if(RK5_FUZZ)
  file(GLOB RK5_ARCHIVE_FUZZ_SOURCES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/src/install/archive_*.cpp)
  foreach(concern file_tree staged_file file_times file_attributes free_space)
    list(APPEND RK5_ARCHIVE_FUZZ_SOURCES
         ${PROJECT_SOURCE_DIR}/src/platform/posix/${concern}.cpp)
  endforeach()
  list(APPEND RK5_ARCHIVE_FUZZ_SOURCES ${PROJECT_SOURCE_DIR}/src/platform/text.cpp)
  rk5_add_fuzz_target(archive_fuzz install/archive_fuzz.cpp SOURCES ${RK5_ARCHIVE_FUZZ_SOURCES}
                      LIBS PkgConfig::LIBZIP ZLIB::ZLIB)

  # Each fixture once through the target: a quick check that the guards hold on them.
  file(GLOB RK5_ARCHIVE_FUZZ_SEEDS ${CMAKE_CURRENT_SOURCE_DIR}/install/fixtures/*.zip)
  add_test(NAME ArchiveFuzzFixtures COMMAND archive_fuzz ${RK5_ARCHIVE_FUZZ_SEEDS})
endif()
