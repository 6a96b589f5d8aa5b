# Fails when a folder below the compile driver shows a box itself: operands/, encoders/,
# assembler/ (but its driver, compile.cpp) and output/ record into the Diagnostics they are given,
# and only the driver and the front ends show. Run as cmake -DSOURCE_DIR=... -P this file.
set(showing "Show_Message\\(|\\.Forward\\(\\)|ScopedMessageHandler|Current_MessageHandler\\(")
file(GLOB_RECURSE sources RELATIVE ${SOURCE_DIR}
  ${SOURCE_DIR}/operands/*.cpp ${SOURCE_DIR}/operands/*.h ${SOURCE_DIR}/encoders/*.cpp ${SOURCE_DIR}/encoders/*.h
  ${SOURCE_DIR}/assembler/*.cpp ${SOURCE_DIR}/assembler/*.h ${SOURCE_DIR}/output/*.cpp ${SOURCE_DIR}/output/*.h)
set(driver assembler/compile.cpp)
list(REMOVE_ITEM sources ${driver})
list(LENGTH sources count)
if(count LESS 20)
  message(FATAL_ERROR "only ${count} sources found under ${SOURCE_DIR}")
endif()
# The pattern must find what the driver shows, or it would find nothing anywhere.
file(STRINGS ${SOURCE_DIR}/${driver} driver_lines REGEX "${showing}")
if(NOT driver_lines)
  message(FATAL_ERROR "the pattern finds no box in ${driver}")
endif()
set(found "")
foreach(source ${sources})
  file(STRINGS ${SOURCE_DIR}/${source} lines REGEX "${showing}")
  foreach(line ${lines})
    # Comments may name the functions.
    if(NOT line MATCHES "^[ \t]*//")
      string(APPEND found "\n  ${source}: ${line}")
    endif()
  endforeach()
endforeach()
if(found)
  message(FATAL_ERROR "boxes shown below the compile driver:${found}")
endif()
message(STATUS "${count} sources below the driver show no box")
