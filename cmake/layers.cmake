# The source folders in their layer order: a folder may use only itself and the
# folders before it. Each folder is a library (orvane_<folder>, plus
# orvane_<folder>_win and its GDI-ledger twin on Windows) that links only the
# layer below, and compiles against an include view holding only its own
# folder and those below, so an include that points up does not compile.
set(ORVANE_LAYERS output prefs state capture selection shots options app)
set(ORVANE_LAYER_VIEWS ${CMAKE_BINARY_DIR}/layers)

# The views: a folder per layer of links to the source folders it may see,
# remade at each configure so that a changed order leaves no stale link.
file(REMOVE_RECURSE ${ORVANE_LAYER_VIEWS})
set(visible "")
foreach(layer ${ORVANE_LAYERS})
    list(APPEND visible ${layer})
    file(MAKE_DIRECTORY ${ORVANE_LAYER_VIEWS}/${layer}/include)
    foreach(folder ${visible})
        file(CREATE_LINK ${CMAKE_SOURCE_DIR}/src/${folder} ${ORVANE_LAYER_VIEWS}/${layer}/include/${folder} SYMBOLIC)
    endforeach()
endforeach()

# orvane_layer([PORTABLE file...] [WIN file...] [WIN_LIBS lib...]), called from
# src/<folder>: the folder's portable sources, its Win32 halves (Windows only)
# and the system libraries those need. Further sources may follow with
# target_sources(orvane_<folder> ...).
function(orvane_layer)
    cmake_parse_arguments(PARSE_ARGV 0 arg "" "" "PORTABLE;WIN;WIN_LIBS")
    get_filename_component(layer ${CMAKE_CURRENT_SOURCE_DIR} NAME)
    list(FIND ORVANE_LAYERS ${layer} rank)
    if(rank LESS 0)
        message(FATAL_ERROR "src/${layer} is in no layer: add it to ORVANE_LAYERS in cmake/layers.cmake")
    endif()
    set(below "")
    if(rank GREATER 0)
        math(EXPR rank "${rank} - 1")
        list(GET ORVANE_LAYERS ${rank} below)
    endif()
    set(view ${ORVANE_LAYER_VIEWS}/${layer}/include)

    # A folder of headers only (natively, state) is an interface library.
    if(arg_PORTABLE)
        add_library(orvane_${layer} STATIC ${arg_PORTABLE})
        target_include_directories(orvane_${layer} PRIVATE ${view})
        orvane_portable_warnings(orvane_${layer})
        set(scope PUBLIC)
    else()
        add_library(orvane_${layer} INTERFACE)
        set(scope INTERFACE)
    endif()
    if(below)
        target_link_libraries(orvane_${layer} ${scope} orvane_${below})
    endif()

    if(NOT WIN32)
        return()
    endif()
    # The Win32 halves twice: as shipped, and counting their GDI objects
    # (state/gdi_ledger.h).
    foreach(variant win win_ledger)
        set(target orvane_${layer}_${variant})
        if(arg_WIN)
            add_library(${target} STATIC ${arg_WIN})
            target_include_directories(${target} PRIVATE ${view})
            orvane_warnings(${target})
            set(scope PUBLIC)
        else()
            add_library(${target} INTERFACE)
            set(scope INTERFACE)
        endif()
        target_link_libraries(${target} ${scope} orvane_${layer} ${arg_WIN_LIBS})
        if(below)
            target_link_libraries(${target} ${scope} orvane_${below}_${variant})
        endif()
        if(variant STREQUAL "win_ledger")
            target_compile_definitions(${target} ${scope} ORVANE_GDI_LEDGER)
        endif()
    endforeach()
endfunction()
