# The Windows compile check, run by CTest on Linux: Debian's MinGW-w64 cross
# compiler reads every source of the tool and of the simulator in syntax-only
# mode against Debian's own Qt 5 headers. They are the headers a Windows kit
# ships; only their build configuration (qconfig.h, the features) is Linux's,
# and nothing in it stops a Windows compiler: the headers pick their Windows
# branches from the compiler's _WIN32. It cannot link or run, but it catches a
# POSIX header or call that slips into the product and code that only one
# compiler accepts. moc output is not needed to check syntax; the layout
# header from uic is, so the check runs on a built tree (as CTest does).
#
# One test per folder of each target, so that CTest spreads them over the
# cores. Included from the top-level CMakeLists.txt after the targets exist.

if(WIN32)
  return()
endif()

find_program(ZORVIK_MINGW_CXX x86_64-w64-mingw32-g++-posix)
if(NOT ZORVIK_MINGW_CXX)
  # Visible in the test summary instead of silently missing.
  add_test(NAME mingw-syntax
           COMMAND sh -c "echo 'x86_64-w64-mingw32-g++-posix is not installed (package g++-mingw-w64-x86-64-posix)'; exit 77")
  set_tests_properties(mingw-syntax PROPERTIES SKIP_RETURN_CODE 77)
  return()
endif()

set(_mingw_dir ${CMAKE_BINARY_DIR}/mingw-syntax)

# MSVC, the compiler of the Windows build, has none of these headers, but
# MinGW-w64 brings its own copies, so the cross compiler alone would let them
# through. Stand-ins found first turn each into an error. Only sources reach
# them: neither Qt's headers nor the compiler's own include them on Windows.
foreach(_header unistd.h dirent.h strings.h libgen.h getopt.h sys/time.h)
  file(WRITE ${_mingw_dir}/posix-only/${_header}
       "#error \"<${_header}> is POSIX only: MSVC has none. Keep it out of the product, or behind Q_OS_UNIX in tools/ and tests/.\"\n")
endforeach()

# Qt's CMake files add the Linux mkspec folder (qplatformdefs.h); a Windows kit
# adds its win32-g++ sibling instead, which Debian ships too.
get_target_property(_qt_core_dirs Qt5::Core INTERFACE_INCLUDE_DIRECTORIES)
set(_qt_include_root "")
set(_windows_mkspec "")
foreach(_dir IN LISTS _qt_core_dirs)
  if(_dir MATCHES "/mkspecs/[^/]+/?$")
    string(REGEX REPLACE "/mkspecs/[^/]+/?$" "/mkspecs/win32-g++" _windows_mkspec "${_dir}")
  elseif(EXISTS "${_dir}/QtCore/qglobal.h")
    set(_qt_include_root "${_dir}")
  endif()
endforeach()
string(REGEX REPLACE "([][+.*()^$?|\\\\])" "\\\\\\1" _qt_root_regex "${_qt_include_root}")

# Every source (.cpp) of the target, with the target's own defines and include
# folders, Qt's as system folders so that the check reports our code only.
function(zorvik_mingw_syntax_check target)
  get_target_property(_sources ${target} SOURCES)
  get_target_property(_source_dir ${target} SOURCE_DIR)
  set(_defines "$<TARGET_PROPERTY:${target},COMPILE_DEFINITIONS>")
  set(_includes "$<REMOVE_DUPLICATES:$<TARGET_PROPERTY:${target},INCLUDE_DIRECTORIES>>")
  set(_own "$<FILTER:${_includes},EXCLUDE,^${_qt_root_regex}|/mkspecs/>")
  set(_qt "$<FILTER:${_includes},INCLUDE,^${_qt_root_regex}>")
  set(_rsp ${_mingw_dir}/${target}.rsp)
  # One option a line; a prefix only where its list is not empty.
  file(GENERATE OUTPUT ${_rsp} CONTENT "-std=c++${CMAKE_CXX_STANDARD}
-fsyntax-only
$<$<BOOL:${_defines}>:-D$<JOIN:${_defines},\n-D>>
-I${_mingw_dir}/posix-only
$<$<BOOL:${_own}>:-I$<JOIN:${_own},\n-I>>
$<$<BOOL:${_qt}>:-isystem$<JOIN:${_qt},\n-isystem>>
-isystem${_windows_mkspec}
")
  set(_folders "")
  foreach(_source IN LISTS _sources)
    if(NOT _source MATCHES "\\.cpp$")
      continue()
    endif()
    get_filename_component(_path "${_source}" ABSOLUTE BASE_DIR "${_source_dir}")
    file(RELATIVE_PATH _relative ${CMAKE_SOURCE_DIR} "${_path}")
    get_filename_component(_folder "${_relative}" DIRECTORY)
    string(MAKE_C_IDENTIFIER "${_folder}" _key)
    list(APPEND _sources_${_key} "${_path}")
    list(APPEND _folders "${_folder}")
  endforeach()
  list(REMOVE_DUPLICATES _folders)
  foreach(_folder IN LISTS _folders)
    string(MAKE_C_IDENTIFIER "${_folder}" _key)
    add_test(NAME mingw-syntax/${target}/${_folder}
             COMMAND ${ZORVIK_MINGW_CXX} @${_rsp} ${_sources_${_key}})
    # Started after the window tests (CTest starts the costliest first), so
    # that on a fresh build the long end-to-end tests are not held back.
    set_tests_properties(mingw-syntax/${target}/${_folder} PROPERTIES COST -1)
  endforeach()
endfunction()

foreach(_target zorviktool ZorvikTestTool terminalsim terminal-sim)
  if(TARGET ${_target})
    zorvik_mingw_syntax_check(${_target})
  endif()
endforeach()
