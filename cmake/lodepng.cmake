# LodePNG comes from Debian's source package (scripts/setup unpacks it into
# third_party/lodepng, which git ignores) and is built here for either target.
set(LODEPNG_DIR "${CMAKE_SOURCE_DIR}/third_party/lodepng")
if(NOT EXISTS "${LODEPNG_DIR}/lodepng.cpp")
    message(FATAL_ERROR "LodePNG source missing in ${LODEPNG_DIR}: run scripts/setup as root (or make setup)")
endif()
add_library(lodepng STATIC "${LODEPNG_DIR}/lodepng.cpp")
target_include_directories(lodepng SYSTEM PUBLIC "${LODEPNG_DIR}")
set_target_properties(lodepng PROPERTIES CXX_STANDARD 17)
# Its allocation hooks are ours (src/output/png_memory.cpp): PNG saves serve
# LodePNG's large blocks from memory kept between them.
target_compile_definitions(lodepng PRIVATE LODEPNG_NO_COMPILE_ALLOCATORS)
target_sources(lodepng PRIVATE "${CMAKE_SOURCE_DIR}/src/output/png_memory.cpp")
target_include_directories(lodepng PRIVATE "${ORVANE_LAYER_VIEWS}/output/include")
