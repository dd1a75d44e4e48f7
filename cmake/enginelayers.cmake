# Layers of the workbook engines (src/excel/README.md).
#   korrin_engine_layer(<target> <folder> [USES <layer targets...>]
#                       [LIBS <private libraries...>] SOURCES <files...>)
# One layer is one static library of the files in <folder> (engine/layer,
# relative to src/excel); it links korrin_cellrules and the layers it USES.
# Engine headers are included by engine and layer ("xlsx/zip/ziparchive.h"):
# a source that includes a layer other than its own and those it USES stops
# the configuration, so no layer reaches up or sideways.
include_guard(GLOBAL)

function(korrin_engine_layer target folder)
    cmake_parse_arguments(L "" "" "USES;LIBS;SOURCES" ${ARGN})
    add_library(${target} STATIC ${L_SOURCES})
    target_link_libraries(${target} PUBLIC korrin_cellrules ${L_USES} PRIVATE ${L_LIBS})
    source_group(TREE ${CMAKE_CURRENT_SOURCE_DIR} FILES ${L_SOURCES})
    set_property(GLOBAL PROPERTY KORRIN_LAYER_FOLDER_${target} ${folder})
    set_property(GLOBAL APPEND PROPERTY KORRIN_ENGINE_LIBRARIES ${target})

    set(allowed ${folder})
    foreach(use ${L_USES})
        get_property(used GLOBAL PROPERTY KORRIN_LAYER_FOLDER_${use})
        if(NOT used)
            message(FATAL_ERROR "${target}: the layer ${use} it uses is declared after it, or is no layer")
        endif()
        list(APPEND allowed ${used})
    endforeach()
    foreach(source ${L_SOURCES})
        file(RELATIVE_PATH shown ${PROJECT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR}/${source})
        file(STRINGS ${CMAKE_CURRENT_SOURCE_DIR}/${source} includes
             REGEX "^[ \t]*#[ \t]*include[ \t]*\"xlsx?/")
        foreach(line ${includes})
            if(NOT line MATCHES "\"(xlsx?/[a-z0-9_]+)/[^/\"]+\"")
                message(FATAL_ERROR "${shown}: ${line}: name the header by engine and layer")
            endif()
            if(NOT CMAKE_MATCH_1 IN_LIST allowed)
                message(FATAL_ERROR "${shown}: ${line}: ${folder} may include only ${allowed}")
            endif()
        endforeach()
    endforeach()
endfunction()
