# The folders are the layers, lowest first. A folder's files include only its
# own headers, those of resources/ and those of folders before it;
# tests/layering/check_includes.py checks that, and that a target includes
# only what it links.
set(TAVOLIX_FOLDER_ORDER platform ui search pictures thumbs thumbnailer settings pages words hitview dirtree results app cli
    CACHE INTERNAL "The product folders, lowest layer first")

# tavolix_library(NAME target [NO_QT] SOURCES files... [LINKS items...])
#
# A library of one folder. Its headers are reached as "<folder>/Name.h" through
# a per-target include root that holds only that folder, so a target sees the
# folders of what it links and no others. NO_QT: the target uses no Qt at all
# (the include check holds it to that).
function(tavolix_library)
  cmake_parse_arguments(L "NO_QT" "NAME" "SOURCES;LINKS" ${ARGN})
  add_library(${L_NAME} STATIC ${L_SOURCES})
  if(L_NO_QT)
    set_target_properties(${L_NAME} PROPERTIES AUTOMOC OFF AUTORCC OFF TAVOLIX_NO_QT ON)
  endif()
  tavolix_expose_folder(${L_NAME})
  tavolix_layer(${L_NAME})
  if(L_LINKS)
    target_link_libraries(${L_NAME} ${L_LINKS})
  endif()
endfunction()

# Puts the calling folder on the target's public include path, as "<folder>/".
function(tavolix_expose_folder target)
  get_filename_component(folder "${CMAKE_CURRENT_SOURCE_DIR}" NAME)
  set(root "${PROJECT_BINARY_DIR}/include/${target}")
  if(NOT EXISTS "${root}/${folder}")
    file(MAKE_DIRECTORY "${root}")
    file(CREATE_LINK "${CMAKE_CURRENT_SOURCE_DIR}" "${root}/${folder}" SYMBOLIC COPY_ON_ERROR)
  endif()
  target_include_directories(${target} PUBLIC "$<BUILD_INTERFACE:${root}>")
endfunction()

# Records a target (library or program) of the calling folder for the include check.
function(tavolix_layer target)
  get_filename_component(folder "${CMAKE_CURRENT_SOURCE_DIR}" NAME)
  set_property(GLOBAL APPEND PROPERTY TAVOLIX_LAYERED_TARGETS ${target})
  set_target_properties(${target} PROPERTIES TAVOLIX_LAYER ${folder})
endfunction()

# Writes every layered target, one a line:
# name <TAB> folder <TAB> NO_QT or - <TAB> source dir <TAB> file;file;... <TAB> linked;items;...
function(tavolix_write_layer_map file)
  get_property(targets GLOBAL PROPERTY TAVOLIX_LAYERED_TARGETS)
  set(content "")
  foreach(t IN LISTS targets)
    string(APPEND content "${t}\t$<TARGET_PROPERTY:${t},TAVOLIX_LAYER>\t"
                          "$<IF:$<BOOL:$<TARGET_PROPERTY:${t},TAVOLIX_NO_QT>>,NO_QT,->\t"
                          "$<TARGET_PROPERTY:${t},SOURCE_DIR>\t"
                          "$<JOIN:$<TARGET_PROPERTY:${t},SOURCES>,;>\t"
                          "$<JOIN:$<TARGET_PROPERTY:${t},LINK_LIBRARIES>,;>\n")
  endforeach()
  file(GENERATE OUTPUT "${file}" CONTENT "${content}")
endfunction()
