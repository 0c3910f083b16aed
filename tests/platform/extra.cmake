# The icon search's fuzz target, built with clang when RK5_FUZZ is on:
#   CC=clang CXX=clang++ scripts/build.sh build-fuzz -DRK5_FUZZ=ON -DRK5_BENCH=OFF
# It compiles the Qt-free part of the search (PE resources, icon directories, bitmaps)
# on its own, so nothing built with another compiler comes into it.
if(RK5_FUZZ)
  set(RK5_ICON_FUZZ_SOURCES)
  foreach(part icon_byte_source icon_directory icon_pe_resources icon_dib)
    list(APPEND RK5_ICON_FUZZ_SOURCES ${PROJECT_SOURCE_DIR}/src/platform/formats/${part}.cpp)
  endforeach()
  rk5_add_fuzz_target(icon_extraction_fuzz platform/formats/icon_extraction_fuzz.cpp
                      SOURCES ${RK5_ICON_FUZZ_SOURCES})
  # A short bounded run as a test: the guards hold on what it finds in that time.
  add_test(NAME IconExtractionFuzzShort
           COMMAND icon_extraction_fuzz -runs=200000 -max_len=16384 -seed=1)
endif()
