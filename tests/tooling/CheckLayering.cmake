# Fails when a core library source includes a Qt module above Core and
# Concurrent, in any spelling, or a header of the widget layers.
set(bad)
foreach(dir IN LISTS DIRS)
  file(GLOB_RECURSE found "${ROOT}/${dir}/*.cpp" "${ROOT}/${dir}/*.h")
  foreach(file IN LISTS found)
    file(STRINGS "${file}" lines REGEX "^[ \t]*#[ \t]*include")
    foreach(line IN LISTS lines)
      if(line MATCHES "[<\"](QtGui|QtWidgets|QtSvg|QtDBus|QtNetwork)/"
         OR line MATCHES "[<\"](ui|app)/")
        list(APPEND bad "${file}: ${line}")
      endif()
    endforeach()
  endforeach()
endforeach()
if(bad)
  list(JOIN bad "\n" text)
  message(FATAL_ERROR "Core sources include what lies above them:\n${text}")
endif()
