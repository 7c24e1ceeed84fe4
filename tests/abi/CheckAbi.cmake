# Compares the ABI of libZuInstall (types and layouts reachable from its
# exported functions, as `abidw` reads them from the debug info) with the
# committed baseline (cmake -P). Only types declared in ZU_HEADER_DIRS count,
# and ZU_SUPPRESSIONS leaves out what varies with the optimiser.
# Inputs: ZU_ABIDW, ZU_ABIDIFF, ZU_LIBRARY, ZU_BASELINE, ZU_SUPPRESSIONS,
# ZU_HEADER_DIRS (a ;-list), ZU_SOURCE_DIR, ZU_WORK_FILE; ZU_UPDATE=ON
# rewrites the baseline.
cmake_minimum_required(VERSION 3.25)

set(headers "")
foreach(dir IN LISTS ZU_HEADER_DIRS)
  list(APPEND headers --headers-dir "${dir}")
endforeach()
# No paths, locations or build directories: the baseline is the same from
# every checkout.
set(output "${ZU_WORK_FILE}")
if(ZU_UPDATE)
  set(output "${ZU_BASELINE}")
endif()
execute_process(COMMAND "${ZU_ABIDW}" --no-corpus-path --no-comp-dir-path --no-show-locs --no-elf-needed
                        --drop-private-types ${headers} --type-id-style hash
                        --suppressions "${ZU_SUPPRESSIONS}" --out-file "${output}" "${ZU_LIBRARY}"
                RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "abidw failed on ${ZU_LIBRARY} (${status}):\n${out}${err}")
endif()
# Translation units are named by their absolute source path.
file(READ "${output}" abi)
string(REPLACE "path='${ZU_SOURCE_DIR}/" "path='" abi "${abi}")
file(WRITE "${output}" "${abi}")
if(ZU_UPDATE)
  message(STATUS "wrote the ABI of ${ZU_LIBRARY} to ${ZU_BASELINE}")
  return()
endif()

execute_process(COMMAND "${ZU_ABIDIFF}" --suppressions "${ZU_SUPPRESSIONS}" "${ZU_BASELINE}" "${output}"
                RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT status EQUAL 0)
  # abidiff's status is a bit set: 1 error, 2 usage, 4 change, 8 incompatible change.
  message(FATAL_ERROR "the ABI of ${ZU_LIBRARY} differs from ${ZU_BASELINE} (abidiff status ${status}):\n"
                      "${out}${err}\n"
                      "After a deliberate change (and a new SONAME when it breaks callers), regenerate the "
                      "baseline with `cmake --build BUILD --target update-abi` and review its diff.")
endif()
message(STATUS "the ABI of ${ZU_LIBRARY} matches ${ZU_BASELINE}")
