# tavolix_library(NAME target LAYER layer SOURCES files... [LINKS items...])
#
# A library of one folder. Its headers are reached as "<folder>/Name.h" through
# a per-target include root that holds only that folder, so a target sees the
# folders of what it links and no others. The layer names the place in the
# include rule that tests/layering/check_includes.py checks.
function(tavolix_library)
  cmake_parse_arguments(L "" "NAME;LAYER" "SOURCES;LINKS" ${ARGN})
  add_library(${L_NAME} STATIC ${L_SOURCES})
  if(L_LAYER MATCHES "^(platform|search|pictures|thumbs|results|app|words|cli)$")
    set_target_properties(${L_NAME} PROPERTIES AUTOMOC OFF AUTORCC OFF)
  endif()
  tavolix_expose_folder(${L_NAME})
  tavolix_layer(${L_NAME} ${L_LAYER})
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

# Records the layer of a target (library or program) for the include check.
function(tavolix_layer target layer)
  set_property(GLOBAL APPEND PROPERTY TAVOLIX_LAYERED_TARGETS ${target})
  set_target_properties(${target} PROPERTIES TAVOLIX_LAYER ${layer})
endfunction()

# Writes every layered target's layer, folder and files, one target a line:
# layer <TAB> folder <TAB> file;file;...
function(tavolix_write_layer_map file)
  get_property(targets GLOBAL PROPERTY TAVOLIX_LAYERED_TARGETS)
  set(content "")
  foreach(t IN LISTS targets)
    string(APPEND content "$<TARGET_PROPERTY:${t},TAVOLIX_LAYER>\t$<TARGET_PROPERTY:${t},SOURCE_DIR>\t"
                          "$<JOIN:$<TARGET_PROPERTY:${t},SOURCES>,;>\n")
  endforeach()
  file(GENERATE OUTPUT "${file}" CONTENT "${content}")
endfunction()
