# SPDX-License-Identifier: GPL-3.0-or-later
# The measures' tests make their labelled sounds with the generator the benchmark shares.
target_sources(library_tst_soundmeasurer PRIVATE ${CMAKE_CURRENT_LIST_DIR}/labelledsounds.cpp
  ${CMAKE_CURRENT_LIST_DIR}/synthesis.cpp)
# Finding sounds alike runs over sounds of known kinds.
target_sources(library_tst_soundsimilarity PRIVATE ${CMAKE_CURRENT_LIST_DIR}/soundkinds.cpp
  ${CMAKE_CURRENT_LIST_DIR}/labelledsounds.cpp ${CMAKE_CURRENT_LIST_DIR}/synthesis.cpp)
# The library's tests run against the local SQLite file and, registered apart, against a shared
# library on the private PostgreSQL server (scripts/postgres.sh; they skip without it).
foreach(_t libraryindex librarycommandline)
  set_property(TEST library.tst_${_t} APPEND PROPERTY ENVIRONMENT "GTEST_FILTER=-*/Postgres")
  add_test(NAME library.tst_${_t}.postgres COMMAND library_tst_${_t})
  set_tests_properties(library.tst_${_t}.postgres PROPERTIES ENVIRONMENT
    "QT_QPA_PLATFORM=offscreen;TONFOLIO_SOURCE_DIR=${CMAKE_SOURCE_DIR};TONFOLIO_BINARY_DIR=${CMAKE_BINARY_DIR};GTEST_FILTER=*/Postgres"
    TIMEOUT 600 RESOURCE_LOCK postgres_server)
endforeach()
# Both stop and start the one test server: never at the same time as each other.
set_tests_properties(library.tst_sharedlibrary PROPERTIES RESOURCE_LOCK postgres_server)
add_test(NAME library.tst_soundsimilarity.postgres COMMAND library_tst_soundsimilarity)
set_tests_properties(library.tst_soundsimilarity.postgres PROPERTIES ENVIRONMENT
  "QT_QPA_PLATFORM=offscreen;TONFOLIO_SOURCE_DIR=${CMAKE_SOURCE_DIR};TONFOLIO_BINARY_DIR=${CMAKE_BINARY_DIR};TONFOLIO_TEST_STORE=postgres"
  TIMEOUT 600 RESOURCE_LOCK postgres_server)
