# Drives one packaging test (cmake -P). ZU_MODE selects it:
#   cmake      stage `cmake --install` of the build, check the installed
#              libraries, build the consumer with find_package and run it and
#              the installed zu-request;
#   pkgconfig  stage the install, move it elsewhere, build the consumer with
#              the flags pkg-config gives there and run it;
#   deb        build the Debian packages from debian/ (scripts/build-packages:
#              dpkg-buildpackage, then lintian), check their names, versions,
#              dependencies and contents and the debug files of the -dbgsym
#              ones, extract them into one root with `dpkg-deb -x`, and build
#              and run both consumers and the tool against what they hold;
#   lintian    run lintian on the .changes the deb mode built (no hardening
#              tag among the informational ones) and hardening-check on the
#              tool and the library it extracted;
#   product    configure a second tree with ZU_USE_PRODUCT_LIBS pointing at the
#              build's stand-in libraries as if they were the product's, build
#              libZuInstall and zu-request there, compare the tool's output
#              with the build's own, then install it and run the find_package
#              consumer against that install.
# Inputs: ZU_MODE, ZU_SOURCE_DIR, ZU_BUILD_DIR, ZU_WORK_DIR, ZU_CXX,
# ZU_GENERATOR, ZU_BUILD_TYPE, ZU_SANITIZE, ZU_VERSION, ZU_SOVERSION,
# ZU_LIBDIR, ZU_PRIVATE_LIBDIR, ZU_TOOL, ZU_RUNTIME_LIBRARY,
# ZU_MESSAGES_LIBRARY, ZU_LINTIAN, ZU_HARDENING_CHECK, ZU_DEB_DIR.
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

# Checks an installed library in `dir`: real file, both links, SONAME, and no
# runtime path into the build tree (but for the product libraries' own directory).
function(check_library dir name)
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

# Builds the consumer with the flags pkg-config finds for the install in
# `prefix` and runs it; the .pc file must point into `prefix`.
function(run_pkgconfig_consumer prefix)
  find_program(PKG_CONFIG pkg-config REQUIRED)
  set(ENV{PKG_CONFIG_PATH} "${prefix}/${ZU_LIBDIR}/pkgconfig")
  unset(ENV{PKG_CONFIG_LIBDIR})
  run("pkg-config --cflags" "${PKG_CONFIG}" --cflags zuinstall)
  separate_arguments(cflags UNIX_COMMAND "${run_output}")
  run("pkg-config --libs" "${PKG_CONFIG}" --libs zuinstall)
  separate_arguments(libs UNIX_COMMAND "${run_output}")
  run("pkg-config --variable=libdir" "${PKG_CONFIG}" --variable=libdir zuinstall)
  string(STRIP "${run_output}" libdir)
  file(REAL_PATH "${libdir}" real_libdir)
  file(REAL_PATH "${prefix}/${ZU_LIBDIR}" expected_libdir)
  if(NOT real_libdir STREQUAL expected_libdir)
    message(FATAL_ERROR "zuinstall.pc names libdir ${libdir}, not ${prefix}/${ZU_LIBDIR}")
  endif()
  separate_arguments(sanitize UNIX_COMMAND "${sanitize_flags}")
  run("compiling the consumer" "${ZU_CXX}" -std=c++17 ${sanitize} ${cflags}
      "${ZU_SOURCE_DIR}/tests/package/consumer/consumer.cpp" -o "${ZU_WORK_DIR}/pkgconfig-consumer"
      ${libs} "-Wl,-rpath,${libdir}")
  run("the consumer" "${ZU_WORK_DIR}/pkgconfig-consumer" "${example}")
  expect_output("the pkg-config consumer" "${run_output}" "${expected_consumer_output}")
endfunction()

file(REMOVE_RECURSE "${ZU_WORK_DIR}")
file(MAKE_DIRECTORY "${ZU_WORK_DIR}")
set(prefix "${ZU_WORK_DIR}/prefix")

if(ZU_MODE STREQUAL "cmake")
  stage("${ZU_BUILD_DIR}" "${prefix}")
  check_library("${prefix}/${ZU_LIBDIR}" ZuInstall)
  foreach(name ZuXMLMessagesBase ZuLib)
    check_library("${prefix}/${ZU_PRIVATE_LIBDIR}" ${name})
  endforeach()
  run_cmake_consumer("${prefix}" "${ZU_WORK_DIR}/consumer")
  # The installed tool finds the installed libraries on its own.
  run("zu-request in the build" "${ZU_TOOL}" show "${example}")
  set(reference "${run_output}")
  run("the installed zu-request" "${prefix}/bin/zu-request" show "${example}")
  expect_output("the installed zu-request" "${run_output}" "${reference}")

elseif(ZU_MODE STREQUAL "pkgconfig")
  # Installed in one place, used in another: the .pc file follows its prefix.
  stage("${ZU_BUILD_DIR}" "${ZU_WORK_DIR}/staged")
  file(RENAME "${ZU_WORK_DIR}/staged" "${prefix}")
  run_pkgconfig_consumer("${prefix}")

elseif(ZU_MODE STREQUAL "deb")
  find_program(DPKG_DEB dpkg-deb REQUIRED)
  set(packages "${ZU_WORK_DIR}/packages")
  run("scripts/build-packages" "${ZU_SOURCE_DIR}/scripts/build-packages" "${packages}")
  set(runtime "libzuinstall${ZU_SOVERSION}")
  string(REGEX MATCH "^[0-9]+\\.[0-9]+" minor "${ZU_VERSION}")
  # package | what its Depends must hold | the only paths it may hold (regex
  # under /usr) | a path it must hold (a link to another package counts).
  # The stand-ins only ever in the private directory, never under the product's names in the system's.
  set(lib "${ZU_LIBDIR}/")
  set(platform "${ZU_PRIVATE_LIBDIR}/libZu(Lib|XMLMessagesBase)\\.so")
  set(expected
    "${runtime}|libexpat1|${lib}libZuInstall\\.so\\.${ZU_SOVERSION}(\\.[0-9.]+)?|${platform}\\.${ZU_SOVERSION}(\\.[0-9.]+)?|${ZU_LIBDIR}/libZuInstall.so.${ZU_SOVERSION}"
    "libzuinstall-dev|${runtime} (= ${ZU_VERSION})|include/ZuInstall/.*|${lib}(libZuInstall\\.so|pkgconfig/zuinstall\\.pc|cmake/ZuInstall/.*)|${platform}|${ZU_LIBDIR}/libZuInstall.so"
    "zu-request|${runtime} (>= ${minor})|bin/zu-request|share/man/man1/zu-request\\.1\\.gz|share/bash-completion/completions/zu-request|share/man/man1/zu-request.1.gz"
    "${runtime}-dbgsym|${runtime} (= ${ZU_VERSION})|lib/debug/\\.(build-id/../[0-9a-f]+|dwz/.*)\\.debug|"
    "zu-request-dbgsym|zu-request (= ${ZU_VERSION})|lib/debug/\\.(build-id/../[0-9a-f]+|dwz/.*)\\.debug|")
  set(root "${ZU_WORK_DIR}/root")
  foreach(row IN LISTS expected)
    string(REPLACE "|" ";" row "${row}")
    list(POP_FRONT row name depends)
    list(POP_BACK row required)
    # A -dbgsym package's documentation is a link to its package's.
    list(APPEND row "share/doc/${name}/(copyright|changelog\\.gz)|share/doc/${name}")
    list(JOIN row "|" allowed)
    # debian/changelog and the project carry the same version.
    file(GLOB deb "${packages}/${name}_${ZU_VERSION}_*.deb")
    if(NOT deb)
      message(FATAL_ERROR "dpkg-buildpackage made no package ${name} ${ZU_VERSION}:\n${run_output}")
    endif()
    run("dpkg-deb -f" "${DPKG_DEB}" -f "${deb}" Depends)
    string(FIND "${run_output}" "${depends}" found)
    if(found EQUAL -1)
      message(FATAL_ERROR "${name} depends on \"${run_output}\", lacking ${depends}")
    endif()
    # ldconfig runs through the trigger alone; no package has maintainer scripts.
    run("dpkg-deb -e" "${DPKG_DEB}" -e "${deb}" "${ZU_WORK_DIR}/control-${name}")
    file(GLOB scripts "${ZU_WORK_DIR}/control-${name}/*inst" "${ZU_WORK_DIR}/control-${name}/*rm")
    if(scripts)
      message(FATAL_ERROR "${name} has maintainer scripts: ${scripts}")
    endif()
    run("dpkg-deb -c" "${DPKG_DEB}" -c "${deb}")
    string(REPLACE "\n" ";" listing "${run_output}")
    foreach(line IN LISTS listing)
      if(NOT line MATCHES "^[-l][^ ]* .* \\./usr/([^ ]+)")
        continue()
      endif()
      set(path "${CMAKE_MATCH_1}")
      if(NOT path MATCHES "^(${allowed})$")
        message(FATAL_ERROR "${name} holds /usr/${path}, which belongs in another package")
      endif()
    endforeach()
    set(one "${ZU_WORK_DIR}/${name}")
    run("dpkg-deb -x" "${DPKG_DEB}" -x "${deb}" "${one}")
    if(required AND NOT EXISTS "${one}/usr/${required}" AND NOT IS_SYMLINK "${one}/usr/${required}")
      message(FATAL_ERROR "${name} lacks /usr/${required}")
    endif()
    run("dpkg-deb -x" "${DPKG_DEB}" -x "${deb}" "${root}")
  endforeach()
  set(control "${ZU_WORK_DIR}/control-${runtime}")
  file(READ "${control}/triggers" triggers)
  file(STRINGS "${control}/shlibs" shlibs)
  file(STRINGS "${control}/symbols" symbols REGEX "^lib")
  list(LENGTH symbols libraries)
  # Users of any of the three libraries need this release at least.
  list(FILTER shlibs EXCLUDE REGEX "^libZu[A-Za-z]+ ${ZU_SOVERSION} ${runtime} \\(>= ${ZU_VERSION}\\)$")
  if(NOT triggers MATCHES "\nactivate-noawait ldconfig\n$" OR shlibs OR NOT libraries EQUAL 3)
    message(FATAL_ERROR "${runtime}: triggers '${triggers}', unexpected shlibs ${shlibs}, ${libraries} in symbols")
  endif()
  # Every stripped binary has its debug file, by build id, in a -dbgsym package.
  find_program(READELF readelf REQUIRED)
  file(GLOB binaries "${root}/usr/bin/*" "${root}/usr/${ZU_LIBDIR}/libZuInstall.so.*.*"
       "${root}/usr/${ZU_PRIVATE_LIBDIR}/*.so.*.*")
  foreach(binary IN LISTS binaries)
    run("readelf -n" "${READELF}" -n "${binary}")
    string(REGEX MATCH "Build ID: (..)([0-9a-f]+)" id "${run_output}")
    if(NOT EXISTS "${root}/usr/lib/debug/.build-id/${CMAKE_MATCH_1}/${CMAKE_MATCH_2}.debug")
      message(FATAL_ERROR "no -dbgsym package holds the debug file of ${binary} (${id})")
    endif()
  endforeach()
  run_cmake_consumer("${root}/usr" "${ZU_WORK_DIR}/consumer")
  run_pkgconfig_consumer("${root}/usr")
  run("zu-request in the build" "${ZU_TOOL}" show "${example}")
  set(reference "${run_output}")
  run("the packaged zu-request" "${root}/usr/bin/zu-request" show "${example}")
  expect_output("the packaged zu-request" "${run_output}" "${reference}")

elseif(ZU_MODE STREQUAL "lintian")
  file(GLOB changes "${ZU_DEB_DIR}/packages/*.changes")
  # scripts/build-packages failed on any error or warning; here info tags too, for the hardening ones.
  run("lintian" "${ZU_LINTIAN}" --display-info "${changes}")
  message(STATUS "lintian:\n${run_output}")
  if(run_output MATCHES "[^\n]*hardening-[^\n]*")
    message(FATAL_ERROR "lintian finds a binary not hardened: ${CMAKE_MATCH_0}")
  endif()
  # Debian 12's dpkg-buildflags gives no -fcf-protection (later ones do).
  file(GLOB binaries "${ZU_DEB_DIR}/root/usr/bin/*" "${ZU_DEB_DIR}/root/usr/${ZU_LIBDIR}/libZuInstall.so.*.*")
  run("hardening-check" "${ZU_HARDENING_CHECK}" --nocfprotection ${binaries})
  message(STATUS "${run_output}")

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
  check_library("${prefix}/${ZU_LIBDIR}" ZuInstall)
  file(GLOB_RECURSE stand_ins "${prefix}/libZuLib.so*")
  if(stand_ins)
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
