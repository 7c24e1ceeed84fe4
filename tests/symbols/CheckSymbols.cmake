# Compares the symbols a library defines and exports (`nm -D --defined-only`)
# with a committed list (cmake -P). Weak definitions (template instantiations,
# vtables of inline classes) vary with compiler and optimisation and are left
# out, as are reserved names of the toolchain ("_init", "__bss_start", ...).
# Inputs: ZU_NM, ZU_LIBRARY, ZU_LIST; ZU_UPDATE=ON rewrites the list instead.
# Every name of ZU_REQUIRED (a ;-list) must be exported exactly as written.
cmake_minimum_required(VERSION 3.25)

execute_process(COMMAND "${ZU_NM}" -D --defined-only "${ZU_LIBRARY}"
                RESULT_VARIABLE status OUTPUT_VARIABLE listing ERROR_VARIABLE error)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "nm failed on ${ZU_LIBRARY}: ${error}")
endif()

set(actual "")
string(REPLACE "\n" ";" lines "${listing}")
foreach(line IN LISTS lines)
  if(NOT line MATCHES "^[0-9a-fA-F]+ ([A-Za-z]) (.+)$")
    continue()
  endif()
  set(type "${CMAKE_MATCH_1}")
  set(name "${CMAKE_MATCH_2}")
  if(NOT type MATCHES "^[TDBR]$" OR name MATCHES "^_[^Z]")
    continue()
  endif()
  list(APPEND actual "${type} ${name}")
endforeach()
list(REMOVE_DUPLICATES actual)
list(SORT actual)

foreach(name IN LISTS ZU_REQUIRED)
  if(NOT "T ${name}" IN_LIST actual)
    message(FATAL_ERROR "${ZU_LIBRARY} does not export the function ${name} under that exact name")
  endif()
endforeach()

if(ZU_UPDATE)
  list(JOIN actual "\n" body)
  file(WRITE "${ZU_LIST}"
    "# Symbols libZuInstall defines and exports: `nm -D --defined-only`, strong\n"
    "# definitions only, sorted. Regenerate with `cmake --build BUILD --target update-symbols`\n"
    "# after a deliberate change of the API, and review the difference.\n"
    "${body}\n")
  list(LENGTH actual count)
  message(STATUS "wrote ${count} symbols to ${ZU_LIST}")
  return()
endif()

file(STRINGS "${ZU_LIST}" expected REGEX "^[^#]")
set(missing "")
set(added "")
foreach(entry IN LISTS expected)
  if(NOT entry IN_LIST actual)
    string(APPEND missing "  ${entry}\n")
  endif()
endforeach()
foreach(entry IN LISTS actual)
  if(NOT entry IN_LIST expected)
    string(APPEND added "  ${entry}\n")
  endif()
endforeach()
if(missing OR added)
  message(FATAL_ERROR "exported symbols of ${ZU_LIBRARY} differ from ${ZU_LIST}\n"
                      "no longer exported:\n${missing}newly exported:\n${added}")
endif()
list(LENGTH actual count)
message(STATUS "${count} exported symbols match ${ZU_LIST}")
