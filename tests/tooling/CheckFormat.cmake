# Fails when a C++ source of the project is not formatted as .clang-format says.
set(files)
foreach(dir IN LISTS DIRS)
  file(GLOB_RECURSE found "${ROOT}/${dir}/*.cpp" "${ROOT}/${dir}/*.h" "${ROOT}/${dir}/*.c")
  list(APPEND files ${found})
endforeach()
list(LENGTH files count)
if(count EQUAL 0)
  message(FATAL_ERROR "no sources found below ${ROOT}")
endif()
execute_process(
  COMMAND ${CLANG_FORMAT} --dry-run --Werror --style=file ${files}
  WORKING_DIRECTORY ${ROOT}
  RESULT_VARIABLE result
  ERROR_VARIABLE errors)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "Sources need formatting (run clang-format -i on them):\n${errors}")
endif()
message(STATUS "${count} files formatted")
