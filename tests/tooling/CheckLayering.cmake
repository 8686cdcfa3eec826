# Fails when a core source includes what lies above its layer or beside it:
# a Qt module above Core and Concurrent in any spelling, a header of the
# widget layers, a project header from a folder its layer may not use, or a
# C library's header outside the host folder that wraps that library.

cmake_minimum_required(VERSION 3.25)

# The project folders each core folder may include from (its own first).
set(allowed_model model)
set(allowed_host host model)
set(allowed_host/files host/files host model)
set(allowed_host/engine host/engine host model)
set(allowed_host/loudness host/loudness host model)
set(allowed_host/lv2 host/lv2 host/engine host/files host/loudness host model)
set(allowed_render render host model)
set(allowed_chain chain render host model)
set(allowed_session session chain render host model)
set(allowed_presets presets chain render host model)
# The command-line exporter: the core and the real host, nothing above.
set(allowed_cli cli session presets chain render host/lv2 host/engine host/files host model)
# The render worker: the session's protocol, the renderer and the real host.
set(allowed_worker worker session render host/lv2 host/engine host/files host model)

# C library headers, by the one folder that may include them.
set(c_headers
  "lilv/|lv2/|suil/|serd/|sord/|sratom/=host/lv2"
  "sndfile.h|libavformat/|libavcodec/=host/files"
  "libavutil/|libswresample/=host/files host/engine"
  "portaudio.h|pulse/=host/engine"
  "ebur128.h=host/loudness"
  "plist/=host")

set(bad)
foreach(dir IN LISTS DIRS)
  file(GLOB_RECURSE found "${ROOT}/${dir}/*.cpp" "${ROOT}/${dir}/*.h")
  foreach(file IN LISTS found)
    file(RELATIVE_PATH relative "${ROOT}" "${file}")
    get_filename_component(layer "${relative}" DIRECTORY)
    if(NOT DEFINED allowed_${layer})
      list(APPEND bad "${relative}: a core folder the layering check does not know")
      continue()
    endif()
    file(STRINGS "${file}" lines REGEX "^[ \t]*#[ \t]*include")
    foreach(line IN LISTS lines)
      if(line MATCHES "[<\"](QtGui|QtWidgets|QtSvg|QtDBus|QtNetwork)/")
        list(APPEND bad "${relative}: ${line}")
      elseif(line MATCHES "\"([^\"]+)/[^/\"]+\"")
        if(NOT CMAKE_MATCH_1 IN_LIST allowed_${layer})
          list(APPEND bad "${relative}: ${line}")
        endif()
      elseif(line MATCHES "<([^>]+)>")
        set(header "${CMAKE_MATCH_1}")
        foreach(rule IN LISTS c_headers)
          string(REPLACE "=" ";" parts "${rule}")
          list(GET parts 0 pattern)
          list(GET parts 1 owners)
          string(REPLACE " " ";" owners "${owners}")
          if(header MATCHES "^(${pattern})" AND NOT layer IN_LIST owners)
            list(APPEND bad "${relative}: ${line}")
          endif()
        endforeach()
      endif()
    endforeach()
  endforeach()
endforeach()
if(bad)
  list(JOIN bad "\n" text)
  message(FATAL_ERROR "Core sources include what their layer may not use:\n${text}")
endif()
