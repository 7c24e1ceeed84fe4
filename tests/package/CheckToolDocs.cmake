# Checks the man page, the bash completion and the operator guide of
# zu-request (cmake -P): groff reads the page without a warning, all three
# know every command and option `zu-request --help` names, each command's
# options as `zu-request help COMMAND` gives them are described for that
# command in the page's OPTIONS and in the guide's section on the command,
# and the completion completes (with bash-completion's helpers, when installed).
# Inputs: ZU_TOOL, ZU_GROFF, ZU_BASH, ZU_MAN_PAGE, ZU_COMPLETION, ZU_SOURCE_DIR.
cmake_minimum_required(VERSION 3.25)

execute_process(COMMAND "${ZU_GROFF}" -man -ww -z "${ZU_MAN_PAGE}"
                RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT status EQUAL 0 OR out OR err)
  message(FATAL_ERROR "groff -man -ww warns about ${ZU_MAN_PAGE} (${status}):\n${out}${err}")
endif()
execute_process(COMMAND "${ZU_BASH}" -n "${ZU_COMPLETION}" RESULT_VARIABLE status ERROR_VARIABLE err)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "bash cannot parse ${ZU_COMPLETION}:\n${err}")
endif()

execute_process(COMMAND "${ZU_TOOL}" --help RESULT_VARIABLE status OUTPUT_VARIABLE help)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "zu-request --help failed (${status})")
endif()
file(READ "${ZU_MAN_PAGE}" page)
file(READ "${ZU_COMPLETION}" completion)
# The man page escapes its hyphens.
string(REPLACE "\\-" "-" page "${page}")
string(REGEX MATCHALL "\n  [a-z][a-z0-9-]*" commands "${help}")
string(REGEX MATCHALL "--[a-z][a-z0-9-]*" options "${help}")
list(REMOVE_DUPLICATES options)
string(REGEX MATCH "commands=\"([^\"]*)\"" offered "${completion}")
separate_arguments(offered UNIX_COMMAND "${CMAKE_MATCH_1}")
set(missing "")
foreach(command IN LISTS commands)
  string(STRIP "${command}" command)
  if(NOT page MATCHES "\n\\.SS ${command}\n")
    string(APPEND missing "  the man page has no section on the command ${command}\n")
  endif()
  if(NOT command IN_LIST offered)
    string(APPEND missing "  the completion does not offer the command ${command}\n")
  endif()
endforeach()
foreach(option IN LISTS options)
  if(NOT page MATCHES "\n\\.[A-Z]*B[A-Z]* [^\n]*${option}")
    string(APPEND missing "  the man page does not describe the option ${option}\n")
  endif()
  string(FIND "${completion}" "${option}" found)
  if(found EQUAL -1)
    string(APPEND missing "  the completion does not offer the option ${option}\n")
  endif()
endforeach()

file(READ "${ZU_SOURCE_DIR}/doc/operator-guide.md" guide)
foreach(command IN LISTS commands)
  string(STRIP "${command}" command)
  execute_process(COMMAND "${ZU_TOOL}" help ${command} RESULT_VARIABLE status OUTPUT_VARIABLE usage)
  if(NOT status EQUAL 0 OR NOT usage MATCHES "^usage: zu-request ${command}[^\n]*\n.*\nexample:\n  [^\n]*${command}")
    string(APPEND missing "  zu-request help ${command} gives no usage line and example (${status})\n")
    continue()
  endif()
  string(FIND "${guide}" "\n### ${command}\n" start)
  if(start EQUAL -1)
    string(APPEND missing "  the operator guide has no section on the command ${command}\n")
    continue()
  endif()
  math(EXPR start "${start} + 1")
  string(SUBSTRING "${guide}" ${start} -1 section)
  string(FIND "${section}" "\n#" end)  # the next heading
  string(SUBSTRING "${section}" 0 ${end} section)
  # The options in the usage line: "[-o FILE]", "[--in-place|--check]".
  string(REGEX MATCH "^[^\n]*" synopsis "${usage}")
  string(REGEX REPLACE "[][|]" " " synopsis "${synopsis}")
  string(REGEX MATCHALL " --?[a-z][a-z-]*" own "${synopsis}")
  foreach(option IN LISTS own)
    string(STRIP "${option}" option)
    if(NOT page MATCHES "\n\\.TP\n\\.[A-Z]*B[A-Z]* [^\n]*${option}[^\n]*\n[^\n]*[( ]${command}[ )]")
      string(APPEND missing "  the man page's OPTIONS do not name ${command} under ${option}\n")
    endif()
    string(FIND "${section}" "${option}" found)
    if(found EQUAL -1)
      string(APPEND missing "  the operator guide's section on ${command} does not describe ${option}\n")
    endif()
  endforeach()
endforeach()
if(missing)
  message(FATAL_ERROR "zu-request --help names what its documentation lacks:\n${missing}")
endif()

# What bash offers after the words typed so far (the last one is completed).
set(helpers /usr/share/bash-completion/bash_completion)
set(rows
  "s|show schema"
  "show --j|--json"
  "log --kind r|request response"
  "log --kind=res|response"
  "password v|v8-to-v3 v3-to-v8"
  "show examples/requests/bulk|examples/requests/bulk-install.xml"
  "mask -- examples/requests/si|examples/requests/single-client-install.xml"
  "packages 1|")
if(NOT EXISTS "${helpers}")
  message(STATUS "bash-completion not installed: completion not exercised")
  set(rows "")
endif()
foreach(row IN LISTS rows)
  string(REPLACE "|" ";" row "${row}")
  list(GET row 0 typed)
  list(GET row 1 expected)
  execute_process(
    COMMAND "${ZU_BASH}" -c [[
      source "$1" && source "$2" || exit 1
      COMP_WORDS=(zu-request $3) COMP_CWORD=$((${#COMP_WORDS[@]} - 1)) COMP_LINE="zu-request $3" COMP_POINT=${#COMP_LINE}
      compopt() { :; }
      _zu_request zu-request "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD-1]}"
      printf '%s
' "${COMPREPLY[*]}"]] completion "${helpers}" "${ZU_COMPLETION}" "${typed}"
    WORKING_DIRECTORY "${ZU_SOURCE_DIR}" RESULT_VARIABLE status OUTPUT_VARIABLE offered ERROR_VARIABLE err)
  string(STRIP "${offered}" offered)
  if(NOT status EQUAL 0 OR NOT offered STREQUAL expected OR err)
    string(APPEND missing "  'zu-request ${typed}' completes to '${offered}' instead of '${expected}' ${err}\n")
  endif()
endforeach()
if(missing)
  message(FATAL_ERROR "the bash completion misbehaves:\n${missing}")
endif()
list(LENGTH commands count)
message(STATUS "man page and completion cover the ${count} commands of zu-request --help")
