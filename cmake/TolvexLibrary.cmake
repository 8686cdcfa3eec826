# tolvex_core_library(NAME [SOURCES ...] [PUBLIC_LINKS ...] [PRIVATE_LINKS ...])
#
# A library of the core layers (model, host, render, chain, session, presets).
# These link Qt Core and Qt Concurrent at most: the Gui and Widgets include
# folders are not on their path, so a widget include there does not compile.
# The layering test also catches the path-qualified spelling <QtWidgets/...>.
# A layer that has no sources yet is an interface library that carries its
# links, so the layering is in place before its code arrives.
function(tolvex_core_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;PUBLIC_LINKS;PRIVATE_LINKS" ${ARGN})
  foreach(lib IN LISTS ARG_PUBLIC_LINKS ARG_PRIVATE_LINKS)
    if(lib MATCHES "Qt6::(Gui|Widgets|Svg|DBus)")
      message(FATAL_ERROR "${name} is a core library and must not link ${lib}")
    endif()
  endforeach()
  if(ARG_SOURCES)
    add_library(${name} STATIC ${ARG_SOURCES})
    target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
    target_link_libraries(${name} PUBLIC Qt6::Core ${ARG_PUBLIC_LINKS}
                                  PRIVATE ${ARG_PRIVATE_LINKS})
  else()
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${PROJECT_SOURCE_DIR})
    target_link_libraries(${name} INTERFACE Qt6::Core ${ARG_PUBLIC_LINKS})
  endif()
endfunction()
