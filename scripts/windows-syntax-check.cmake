# The Windows compile check, part of the build on Linux: Debian's MinGW-w64
# cross compiler reads every source of the tool and of the simulator in
# syntax-only mode against Debian's own headers of the build's Qt (5 or 6).
# They are the headers a Windows kit ships; only their build configuration
# (qconfig.h, the features) is Linux's, and nothing in it stops a Windows
# compiler: the headers pick their Windows branches from the compiler's
# _WIN32. It cannot link or run, but it catches a POSIX header or call that
# slips into the product and code that only one compiler accepts, and it fails
# the build when it does. moc output is not needed to check syntax; the layout
# header from uic is, so a target's check runs once the target is built.
#
# One step per source, each redone only when the source or a header it reads
# changes, so that the build spreads them over the cores and a rebuild checks
# only what changed. Included from the top-level CMakeLists.txt after the
# targets exist.

if(WIN32)
  return()
endif()

find_program(ZORVIK_MINGW_CXX x86_64-w64-mingw32-g++-posix)
if(NOT ZORVIK_MINGW_CXX)
  message(STATUS "Windows compile check off: x86_64-w64-mingw32-g++-posix is not installed "
                 "(package g++-mingw-w64-x86-64-posix)")
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

# Qt's CMake files add the Linux mkspec folder (qplatformdefs.h), Qt 5 through
# Qt5::Core and Qt 6 through Qt6::Platform; a Windows kit adds its win32-g++
# sibling instead, which Debian ships too.
set(_qt_dirs "")
foreach(_qt_target ${ZORVIK_QT}::Core ${ZORVIK_QT}::Platform)
  if(TARGET ${_qt_target})
    get_target_property(_dirs ${_qt_target} INTERFACE_INCLUDE_DIRECTORIES)
    list(APPEND _qt_dirs ${_dirs})
  endif()
endforeach()
set(_qt_include_root "")
set(_windows_mkspec "")
foreach(_dir IN LISTS _qt_dirs)
  if(_dir MATCHES "/mkspecs/[^/]+/?$")
    string(REGEX REPLACE "/mkspecs/[^/]+/?$" "/mkspecs/win32-g++" _windows_mkspec "${_dir}")
  elseif(EXISTS "${_dir}/QtCore/qglobal.h")
    set(_qt_include_root "${_dir}")
  endif()
endforeach()
string(REGEX REPLACE "([][+.*()^$?|\\\\])" "\\\\\\1" _qt_root_regex "${_qt_include_root}")

# Qt 6's Gui passes on the host's own include folder (/usr/include, for the
# OpenGL headers): the cross compiler would read glibc's headers there in place
# of its own. The host compiler's built-in folders never reach it.
set(_host_dirs_regex "")
foreach(_dir IN LISTS CMAKE_CXX_IMPLICIT_INCLUDE_DIRECTORIES)
  string(REGEX REPLACE "([][+.*()^$?|\\\\])" "\\\\\\1" _dir_regex "${_dir}")
  string(APPEND _host_dirs_regex "|^${_dir_regex}/?$")
endforeach()

# Every source (.cpp) of the target, with the target's own defines and include
# folders, Qt's as system folders so that the check reports our code only.
function(zorvik_mingw_syntax_check target)
  get_target_property(_sources ${target} SOURCES)
  get_target_property(_source_dir ${target} SOURCE_DIR)
  set(_defines "$<TARGET_PROPERTY:${target},COMPILE_DEFINITIONS>")
  set(_includes "$<REMOVE_DUPLICATES:$<TARGET_PROPERTY:${target},INCLUDE_DIRECTORIES>>")
  set(_own "$<FILTER:${_includes},EXCLUDE,^${_qt_root_regex}|/mkspecs/${_host_dirs_regex}>")
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
  file(MAKE_DIRECTORY ${_mingw_dir}/${target})
  set(_stamps "")
  foreach(_source IN LISTS _sources)
    if(NOT _source MATCHES "\\.cpp$")
      continue()
    endif()
    get_filename_component(_path "${_source}" ABSOLUTE BASE_DIR "${_source_dir}")
    file(RELATIVE_PATH _relative ${CMAKE_SOURCE_DIR} "${_path}")
    string(MAKE_C_IDENTIFIER "${_relative}" _key)
    set(_stamp ${_mingw_dir}/${target}/${_key}.ok)
    add_custom_command(
      OUTPUT ${_stamp}
      COMMAND ${ZORVIK_MINGW_CXX} @${_rsp} -MMD -MF ${_stamp}.d -MT ${_stamp} ${_path}
      COMMAND ${CMAKE_COMMAND} -E touch ${_stamp}
      DEPENDS ${_path} ${_rsp}
      DEPFILE ${_stamp}.d
      COMMENT "Windows compile check of ${_relative}"
      VERBATIM)
    list(APPEND _stamps ${_stamp})
  endforeach()
  add_custom_target(mingw-syntax-${target} ALL DEPENDS ${_stamps})
  add_dependencies(mingw-syntax-${target} ${target})
endfunction()

foreach(_target zorviktool ZorvikTestTool terminalsim terminal-sim)
  if(TARGET ${_target})
    zorvik_mingw_syntax_check(${_target})
  endif()
endforeach()
