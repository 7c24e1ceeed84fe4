# Drives one packaging test (cmake -P). ZU_MODE selects it:
#   cmake      stage `cmake --install` of the build, check the installed
#              libraries, build the consumer with find_package and run it and
#              the installed zu-request;
#   pkgconfig  stage the install, build the consumer with the flags pkg-config
#              gives and run it;
#   product    configure a second tree with ZU_USE_PRODUCT_LIBS pointing at the
#              build's stand-in libraries as if they were the product's, build
#              libZuInstall and zu-request there, compare the tool's output
#              with the build's own, then install it and run the find_package
#              consumer against that install.
# Inputs: ZU_MODE, ZU_SOURCE_DIR, ZU_BUILD_DIR, ZU_WORK_DIR, ZU_CXX,
# ZU_GENERATOR, ZU_BUILD_TYPE, ZU_SANITIZE, ZU_VERSION, ZU_SOVERSION,
# ZU_LIBDIR, ZU_TOOL, ZU_RUNTIME_LIBRARY, ZU_MESSAGES_LIBRARY.
cmake_minimum_required(VERSION 3.25)

set(example "${ZU_SOURCE_DIR}/examples/requests/bulk-install.xml")
set(expected_consumer_output "client 0: db01\nclient 1: app01\nclient 2: proxy01\ncipher: round trip\n")
set(sanitize_flags "")
if(ZU_SANITIZE)
  set(sanitize_flags "-fsanitize=${ZU_SANITIZE} -fno-omit-frame-pointer")
endif()

# Runs a command; stops the test with its output when it fails.
function(run what)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${what} failed (${status}):\n${ARGN}\n${out}\n${err}")
  endif()
  set(run_output "${out}" PARENT_SCOPE)
endfunction()

function(expect_output what actual expected)
  if(NOT actual STREQUAL expected)
    message(FATAL_ERROR "${what} printed:\n${actual}\ninstead of:\n${expected}")
  endif()
endfunction()

# Installs `build` into `prefix`, replacing what was there.
function(stage build prefix)
  file(REMOVE_RECURSE "${prefix}")
  run("cmake --install" "${CMAKE_COMMAND}" --install "${build}" --prefix "${prefix}")
endfunction()

# Checks an installed library: real file, both links, SONAME, and no runtime
# path into the build tree (but for the product libraries' own directory).
function(check_library prefix name)
  set(dir "${prefix}/${ZU_LIBDIR}")
  set(real "lib${name}.so.${ZU_VERSION}")
  set(soname "lib${name}.so.${ZU_SOVERSION}")
  if(NOT EXISTS "${dir}/${real}" OR IS_SYMLINK "${dir}/${real}")
    message(FATAL_ERROR "${dir}/${real} is not installed as a file")
  endif()
  foreach(link "${soname}" "lib${name}.so")
    file(READ_SYMLINK "${dir}/${link}" target)
    if(NOT IS_SYMLINK "${dir}/${link}" OR NOT (target STREQUAL real OR target STREQUAL soname))
      message(FATAL_ERROR "${dir}/${link} is not a link to ${real}")
    endif()
  endforeach()
  find_program(READELF readelf REQUIRED)
  run("readelf" "${READELF}" -d "${dir}/${real}")
  if(NOT run_output MATCHES "Library soname: \\[${soname}\\]")
    message(FATAL_ERROR "${real} lacks the SONAME ${soname}:\n${run_output}")
  endif()
  if(ZU_MODE STREQUAL "product")
    get_filename_component(product_dir "${ZU_RUNTIME_LIBRARY}" DIRECTORY)
    string(REPLACE "${product_dir}" "" run_output "${run_output}")
  endif()
  string(FIND "${run_output}" "${ZU_BUILD_DIR}" into_build)
  if(NOT into_build EQUAL -1)
    message(FATAL_ERROR "${real} still names the build tree:\n${run_output}")
  endif()
endfunction()

# Builds tests/package/consumer against the install in `prefix` and runs it.
function(run_cmake_consumer prefix build)
  file(REMOVE_RECURSE "${build}")
  run("configuring the consumer" "${CMAKE_COMMAND}" -S "${ZU_SOURCE_DIR}/tests/package/consumer" -B "${build}"
      -G "${ZU_GENERATOR}" "-DCMAKE_PREFIX_PATH=${prefix}" "-DCMAKE_CXX_COMPILER=${ZU_CXX}"
      "-DCMAKE_BUILD_TYPE=${ZU_BUILD_TYPE}" "-DCMAKE_CXX_FLAGS=${sanitize_flags}"
      "-DCMAKE_EXE_LINKER_FLAGS=${sanitize_flags}")
  run("building the consumer" "${CMAKE_COMMAND}" --build "${build}")
  run("the consumer" "${build}/consumer" "${example}")
  expect_output("the find_package consumer" "${run_output}" "${expected_consumer_output}")
endfunction()

file(REMOVE_RECURSE "${ZU_WORK_DIR}")
file(MAKE_DIRECTORY "${ZU_WORK_DIR}")
set(prefix "${ZU_WORK_DIR}/prefix")

if(ZU_MODE STREQUAL "cmake")
  stage("${ZU_BUILD_DIR}" "${prefix}")
  foreach(name ZuInstall ZuXMLMessagesBase ZuLib)
    check_library("${prefix}" ${name})
  endforeach()
  run_cmake_consumer("${prefix}" "${ZU_WORK_DIR}/consumer")
  # The installed tool finds the installed libraries on its own.
  run("zu-request in the build" "${ZU_TOOL}" show "${example}")
  set(reference "${run_output}")
  run("the installed zu-request" "${prefix}/bin/zu-request" show "${example}")
  expect_output("the installed zu-request" "${run_output}" "${reference}")

elseif(ZU_MODE STREQUAL "pkgconfig")
  find_program(PKG_CONFIG pkg-config REQUIRED)
  stage("${ZU_BUILD_DIR}" "${prefix}")
  set(ENV{PKG_CONFIG_PATH} "${prefix}/${ZU_LIBDIR}/pkgconfig")
  unset(ENV{PKG_CONFIG_LIBDIR})
  run("pkg-config --cflags" "${PKG_CONFIG}" --cflags zuinstall)
  separate_arguments(cflags UNIX_COMMAND "${run_output}")
  run("pkg-config --libs" "${PKG_CONFIG}" --libs zuinstall)
  separate_arguments(libs UNIX_COMMAND "${run_output}")
  run("pkg-config --variable=libdir" "${PKG_CONFIG}" --variable=libdir zuinstall)
  string(STRIP "${run_output}" libdir)
  if(NOT libdir STREQUAL "${prefix}/${ZU_LIBDIR}")
    message(FATAL_ERROR "zuinstall.pc names libdir ${libdir}, not the staged ${prefix}/${ZU_LIBDIR}")
  endif()
  separate_arguments(sanitize UNIX_COMMAND "${sanitize_flags}")
  run("compiling the consumer" "${ZU_CXX}" -std=c++17 ${sanitize} ${cflags}
      "${ZU_SOURCE_DIR}/tests/package/consumer/consumer.cpp" -o "${ZU_WORK_DIR}/consumer"
      ${libs} "-Wl,-rpath,${libdir}")
  run("the consumer" "${ZU_WORK_DIR}/consumer" "${example}")
  expect_output("the pkg-config consumer" "${run_output}" "${expected_consumer_output}")

elseif(ZU_MODE STREQUAL "product")
  set(build "${ZU_WORK_DIR}/build")
  run("configuring with ZU_USE_PRODUCT_LIBS" "${CMAKE_COMMAND}" -S "${ZU_SOURCE_DIR}" -B "${build}"
      -G "${ZU_GENERATOR}" "-DCMAKE_CXX_COMPILER=${ZU_CXX}" "-DCMAKE_BUILD_TYPE=${ZU_BUILD_TYPE}"
      "-DZU_SANITIZE=${ZU_SANITIZE}" -DZU_BUILD_TESTS=OFF -DZU_BUILD_BENCH=OFF -DZU_BUILD_FUZZ=OFF
      -DZU_USE_PRODUCT_LIBS=ON "-DZU_PRODUCT_RUNTIME_LIBRARY=${ZU_RUNTIME_LIBRARY}"
      "-DZU_PRODUCT_MESSAGES_LIBRARY=${ZU_MESSAGES_LIBRARY}")
  run("building with ZU_USE_PRODUCT_LIBS" "${CMAKE_COMMAND}" --build "${build}" --parallel 2)
  if(EXISTS "${build}/platform")
    message(FATAL_ERROR "ZU_USE_PRODUCT_LIBS still built the stand-ins")
  endif()
  run("zu-request built on the stand-ins" "${ZU_TOOL}" show "${example}")
  set(reference "${run_output}")
  run("zu-request built on the product libraries" "${build}/tools/zu-request/zu-request" show "${example}")
  expect_output("zu-request built on the product libraries" "${run_output}" "${reference}")
  stage("${build}" "${prefix}")
  check_library("${prefix}" ZuInstall)
  if(EXISTS "${prefix}/${ZU_LIBDIR}/libZuLib.so")
    message(FATAL_ERROR "ZU_USE_PRODUCT_LIBS installed a stand-in")
  endif()
  run_cmake_consumer("${prefix}" "${ZU_WORK_DIR}/consumer")
  # The installed tool finds the product libraries where they were given.
  run("the installed zu-request" "${prefix}/bin/zu-request" show "${example}")
  expect_output("the installed zu-request" "${run_output}" "${reference}")

else()
  message(FATAL_ERROR "unknown ZU_MODE '${ZU_MODE}'")
endif()
message(STATUS "${ZU_MODE}: passed")
