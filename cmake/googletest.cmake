# GoogleTest from Debian's source in /usr/src/googletest, built for whichever
# target this tree configures.
set(GOOGLETEST_SOURCE "/usr/src/googletest" CACHE PATH "GoogleTest source folder")
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
add_subdirectory(${GOOGLETEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
