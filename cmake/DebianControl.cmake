# Run by cpack once the components are staged, before the packages are made:
# adds copyright, changelog.Debian.gz and lintian overrides to each package, writes the runtime
# package's symbols (dpkg-gensymbols) and shlibs files, and sets the runtime's
# and the tool's Depends from dpkg-shlibdeps, which reads those files from a
# copy of the runtime package as it reads an installed one's.
set(zu_stage "${CPACK_TEMPORARY_DIRECTORY}")
set(zu_work "${CPACK_TOPLEVEL_DIRECTORY}/zu-debian")
set(zu_version "${CPACK_PACKAGE_VERSION}-${CPACK_DEBIAN_PACKAGE_RELEASE}")
set(zu_runtime "${CPACK_DEBIAN_RUNTIME_PACKAGE_NAME}")
file(REMOVE_RECURSE "${zu_work}")
# dpkg-shlibdeps wants a debian/control, any will do.
file(WRITE "${zu_work}/debian/control" "")
file(MAKE_DIRECTORY "${CPACK_ZU_CONTROL_DIR}")

function(zu_run result)
  execute_process(COMMAND ${ARGN} WORKING_DIRECTORY "${zu_work}" RESULT_VARIABLE status OUTPUT_VARIABLE out
                  ERROR_VARIABLE err)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${ARGN} failed (${status}):\n${out}\n${err}")
  endif()
  set(${result} "${out}" PARENT_SCOPE)
endfunction()

# The changelog's date is the last commit's (or SOURCE_DATE_EPOCH), so the
# same source packs to the same bytes.
if(NOT DEFINED ENV{SOURCE_DATE_EPOCH})
  execute_process(COMMAND git -C "${CPACK_ZU_SOURCE_DIR}" log -1 --format=%ct OUTPUT_VARIABLE zu_epoch
                  OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  if(NOT zu_epoch MATCHES "^[0-9]+$")
    file(TIMESTAMP "${CPACK_ZU_SOURCE_DIR}/CMakeLists.txt" zu_epoch "%s" UTC)
  endif()
  set(ENV{SOURCE_DATE_EPOCH} "${zu_epoch}")
endif()
string(TIMESTAMP zu_date "%a, %d %b %Y %H:%M:%S +0000" UTC)

foreach(component IN LISTS CPACK_COMPONENTS_ALL)
  string(TOUPPER "${component}" upper)
  set(package "${CPACK_DEBIAN_${upper}_PACKAGE_NAME}")
  set(doc "${zu_stage}/${component}${CPACK_PACKAGING_INSTALL_PREFIX}/share/doc/${package}")
  file(MAKE_DIRECTORY "${doc}")
  file(COPY_FILE "${CPACK_ZU_DEBIAN_DIR}/copyright" "${doc}/copyright")
  set(overrides "${zu_stage}/${component}${CPACK_PACKAGING_INSTALL_PREFIX}/share/lintian/overrides")
  file(MAKE_DIRECTORY "${overrides}")
  file(COPY_FILE "${CPACK_ZU_DEBIAN_DIR}/lintian-overrides" "${overrides}/${package}")
  file(WRITE "${zu_work}/changelog.${package}"
       "${package} (${zu_version}) unstable; urgency=medium\n\n"
       "  * Release ${CPACK_PACKAGE_VERSION} of ZuInstall.\n\n"
       " -- ${CPACK_PACKAGE_CONTACT}  ${zu_date}\n")
  execute_process(COMMAND gzip -9 -n -c "${zu_work}/changelog.${package}" OUTPUT_FILE "${doc}/changelog.Debian.gz"
                  RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "gzip failed on the changelog of ${package}")
  endif()
  file(CHMOD "${doc}/copyright" "${doc}/changelog.Debian.gz" "${overrides}/${package}"
       PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
endforeach()

# The runtime package's libraries: real files, links left out.
set(zu_libs "")
foreach(dir IN LISTS CPACK_ZU_LIBDIRS)
  file(GLOB found "${zu_stage}/runtime${CPACK_PACKAGING_INSTALL_PREFIX}/${dir}/lib*.so.*")
  foreach(lib IN LISTS found)
    if(NOT IS_SYMLINK "${lib}")
      list(APPEND zu_libs "${lib}")
    endif()
  endforeach()
endforeach()

# cpack strips as strip does; Debian's packages also drop the compiler's .comment.
file(GLOB zu_tools "${zu_stage}/tool${CPACK_PACKAGING_INSTALL_PREFIX}/bin/*")
foreach(binary IN LISTS zu_libs zu_tools)
  zu_run(out "${CPACK_ZU_OBJCOPY}" --remove-section=.comment "${binary}")
endforeach()

# Symbols known to the committed list keep the version that introduced them.
set(zu_reference "${CPACK_ZU_DEBIAN_DIR}/${zu_runtime}.symbols")
list(TRANSFORM zu_libs PREPEND "-e" OUTPUT_VARIABLE zu_lib_args)
set(zu_reference_arg "")
if(EXISTS "${zu_reference}")
  set(zu_reference_arg "-I${zu_reference}")
endif()
zu_run(out dpkg-gensymbols -q -c0 "-p${zu_runtime}" "-P${zu_stage}/runtime" "-v${CPACK_ZU_SYMBOLS_VERSION}"
       ${zu_reference_arg} ${zu_lib_args} "-O${CPACK_ZU_CONTROL_DIR}/symbols")
set(zu_shlibs "")
foreach(lib IN LISTS zu_libs)
  get_filename_component(name "${lib}" NAME)
  if(name MATCHES "^lib(.+)\\.so\\.([0-9]+)")
    string(APPEND zu_shlibs "lib${CMAKE_MATCH_1} ${CMAKE_MATCH_2} ${zu_runtime} (>= ${CPACK_ZU_SYMBOLS_VERSION})\n")
  endif()
endforeach()
file(WRITE "${CPACK_ZU_CONTROL_DIR}/shlibs" "${zu_shlibs}")

# dpkg-shlibdeps finds a library's package by the DEBIAN directory above it.
set(zu_copy "${zu_work}/${zu_runtime}")
file(COPY "${zu_stage}/runtime/" DESTINATION "${zu_copy}")
file(COPY "${CPACK_ZU_CONTROL_DIR}/symbols" "${CPACK_ZU_CONTROL_DIR}/shlibs" DESTINATION "${zu_copy}/DEBIAN")
set(zu_search "")
foreach(dir IN LISTS CPACK_ZU_LIBDIRS)
  list(APPEND zu_search "-l${zu_copy}${CPACK_PACKAGING_INSTALL_PREFIX}/${dir}")
endforeach()
string(REPLACE "${zu_stage}/runtime" "${zu_copy}" zu_copy_args "${zu_lib_args}")
foreach(component runtime tool)
  set(args ${zu_copy_args} "-x${zu_runtime}")
  if(component STREQUAL "tool")
    list(TRANSFORM zu_tools PREPEND "-e" OUTPUT_VARIABLE args)
  endif()
  zu_run(out dpkg-shlibdeps -O ${CPACK_ZU_SHLIBDEPS_OPTIONS} ${zu_search} ${args})
  if(NOT out MATCHES "shlibs:Depends=([^\n]*)")
    message(FATAL_ERROR "dpkg-shlibdeps found no dependencies for ${component}:\n${out}")
  endif()
  string(TOUPPER "${component}" upper)
  set(CPACK_DEBIAN_${upper}_PACKAGE_DEPENDS "${CMAKE_MATCH_1}")
endforeach()
