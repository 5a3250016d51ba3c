# Installed on Windows: both programs in one folder, with the Qt DLLs and
# plugins that windeployqt finds for them and the compiler's runtime, so that
# the folder (and the ZIP or installer CPack makes of it) runs on a PC without
# Qt. "cmake --install <build> --prefix dist" makes that folder by hand.
install(TARGETS ZorvikTestTool RUNTIME DESTINATION .)
set(_deployed ZorvikTestTool)
if(TARGET terminal-sim)
  install(TARGETS terminal-sim RUNTIME DESTINATION .)
  list(APPEND _deployed terminal-sim)
endif()

if(MSVC)
  # The Visual C++ runtime DLLs beside the programs rather than
  # vc_redist.x64.exe, which a technician would have to run first. The
  # universal CRT is part of Windows 10 and 11.
  set(CMAKE_INSTALL_SYSTEM_RUNTIME_DESTINATION .)
  set(CMAKE_INSTALL_UCRT_LIBRARIES OFF)
  include(InstallRequiredSystemLibraries)
  set(_runtime --no-compiler-runtime)
else()
  # MinGW: windeployqt copies libgcc, libstdc++ and winpthread from the folder
  # of the g++.exe on the PATH (the kit's command prompt puts it there).
  set(_runtime --compiler-runtime)
endif()

get_target_property(_qmake ${ZORVIK_QT}::qmake IMPORTED_LOCATION)
get_filename_component(_qt_bin "${_qmake}" DIRECTORY)
find_program(ZORVIK_WINDEPLOYQT windeployqt HINTS "${_qt_bin}")
if(NOT ZORVIK_WINDEPLOYQT)
  message(WARNING "windeployqt not found next to qmake: the installed folder "
                  "and packages will lack the Qt DLLs and plugins")
  return()
endif()

# The window draws with Qt's raster engine and reads no Qt translation, so the
# OpenGL fallbacks and the translations stay out of the folder.
foreach(_target IN LISTS _deployed)
  install(CODE "
    execute_process(
      COMMAND \"${ZORVIK_WINDEPLOYQT}\" $<IF:$<CONFIG:Debug>,--debug,--release> ${_runtime}
              --no-translations --no-system-d3d-compiler --no-opengl-sw
              \"\${CMAKE_INSTALL_PREFIX}/$<TARGET_FILE_NAME:${_target}>\"
      RESULT_VARIABLE _status)
    if(NOT _status EQUAL 0)
      message(FATAL_ERROR \"windeployqt failed for $<TARGET_FILE_NAME:${_target}>: \${_status}\")
    endif()
  ")
endforeach()
