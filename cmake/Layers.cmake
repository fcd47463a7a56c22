# The core's folders are layers. A folder is an object library that sees the headers of its own
# folder and of the folders it depends on, and no others: its include path is a directory of
# links made at configure time (BUILD/layers/NAME/FOLDER -> SOURCE/FOLDER), one per visible
# folder. An include that points up or sideways fails to compile ("No such file or directory").
# A layer can depend only on layers declared before it, so the graph has no circle.
#
#   readtarq_layer(NAME seed DEPENDS event SOURCES SeedCodes.cpp ...)
#
# Every layer links readtarq_externals (the third-party libraries and the version text).

function(readtarq_layer)
  cmake_parse_arguments(LAYER "" "NAME" "DEPENDS;SOURCES;LIBRARIES" ${ARGN})
  set(name ${LAYER_NAME})
  set(visible ${name})
  foreach(dep IN LISTS LAYER_DEPENDS)
    get_property(dep_visible GLOBAL PROPERTY READTARQ_LAYER_VISIBLE_${dep})
    if(NOT dep_visible)
      message(FATAL_ERROR "Layer ${name} depends on ${dep}, which is not declared before it")
    endif()
    list(APPEND visible ${dep_visible})
  endforeach()
  list(REMOVE_DUPLICATES visible)
  list(SORT visible)
  set_property(GLOBAL PROPERTY READTARQ_LAYER_VISIBLE_${name} ${visible})
  set_property(GLOBAL APPEND PROPERTY READTARQ_LAYERS ${name})

  set(view ${CMAKE_BINARY_DIR}/layers/${name})
  file(REMOVE_RECURSE ${view})
  file(MAKE_DIRECTORY ${view})
  foreach(folder IN LISTS visible)
    file(CREATE_LINK ${PROJECT_SOURCE_DIR}/${folder} ${view}/${folder} SYMBOLIC COPY_ON_ERROR)
  endforeach()

  list(TRANSFORM LAYER_SOURCES PREPEND ${PROJECT_SOURCE_DIR}/${name}/)
  add_library(readtarq_${name} OBJECT ${LAYER_SOURCES})
  target_include_directories(readtarq_${name} PRIVATE ${view})
  target_link_libraries(readtarq_${name} PRIVATE readtarq_externals)
  # Libraries of its own (FFTW for the survey) go with it to whatever links it.
  target_link_libraries(readtarq_${name} PUBLIC ${LAYER_LIBRARIES})
  # Declared for the build graph (cmake --graphviz); an object library takes no objects from
  # the object libraries it links.
  foreach(dep IN LISTS LAYER_DEPENDS)
    target_link_libraries(readtarq_${name} PRIVATE readtarq_${dep})
  endforeach()
endfunction()
