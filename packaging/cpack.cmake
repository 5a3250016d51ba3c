# The Debian package: "cmake --build <dir> --target package" (or cpack in the
# build folder) writes zorvik-test-tool_<version>_<arch>.deb. Its library
# dependencies are worked out by dpkg-shlibdeps (package dpkg-dev).
# On Windows the same command writes zorvik-test-tool_<version>_win64.zip, the
# installed folder with the Qt DLLs (packaging/windows-install.cmake), and an
# installer, zorvik-test-tool_<version>_win64.exe, where NSIS is installed.
set(CPACK_PACKAGE_NAME zorvik-test-tool)
set(CPACK_PACKAGE_VENDOR "Tavrin")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Tavrin support <support@tavrin.example.com>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Configuration and test tool for Tavrin cellular field terminals")
# Wrapped by hand: dpkg shows the long description line by line as written.
set(CPACK_PACKAGE_DESCRIPTION
    "Tavrin远程设备测试工具 talks to a cellular field terminal (remote breaker,
valve, socket, relay board, RS485 bridge and the like) through a
USB-to-RS485 adapter. It connects manually or by trying every baud rate,
reads all of the terminal's parameters in one batch, writes a chosen set
and reads each one back, binds serial numbers to MQTT credentials from a
CSV file and logs every command and reply.
The package also holds terminal-sim, a simulated terminal on a
pseudo-terminal or serial port, for training and trials.")
set(CPACK_STRIP_FILES ON)

if(WIN32)
  set(CPACK_GENERATOR ZIP)
  set(_program_files_x86 "ProgramFiles(x86)")
  find_program(ZORVIK_MAKENSIS makensis
               PATHS "$ENV{ProgramFiles}/NSIS" "$ENV{${_program_files_x86}}/NSIS")
  if(ZORVIK_MAKENSIS)
    list(APPEND CPACK_GENERATOR NSIS)
  endif()
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(_windows_arch win64)
  else()
    set(_windows_arch win32)
  endif()
  set(CPACK_PACKAGE_FILE_NAME "${CPACK_PACKAGE_NAME}_${CPACK_PACKAGE_VERSION}_${_windows_arch}")
  # The folder under Program Files and the Start menu entry. CMake's NSIS
  # script is not Unicode, so the installer's own texts stay ASCII.
  set(CPACK_PACKAGE_INSTALL_DIRECTORY ZorvikTestTool)
  set(CPACK_PACKAGE_EXECUTABLES ZorvikTestTool "Tavrin Remote Device Test Tool")
  set(CPACK_NSIS_EXECUTABLES_DIRECTORY .)
  set(CPACK_NSIS_DISPLAY_NAME "Tavrin Remote Device Test Tool")
  set(CPACK_NSIS_PACKAGE_NAME "Tavrin Remote Device Test Tool ${CPACK_PACKAGE_VERSION}")
  set(CPACK_NSIS_INSTALLED_ICON_NAME ZorvikTestTool.exe)
  set(CPACK_NSIS_URL_INFO_ABOUT "https://www.tavrin.example.com")
  set(CPACK_NSIS_CONTACT "support@tavrin.example.com")
  set(CPACK_NSIS_ENABLE_UNINSTALL_BEFORE_INSTALL ON)
elseif(UNIX AND NOT APPLE)
  set(CPACK_GENERATOR DEB)
endif()
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${CPACK_PACKAGE_CONTACT}")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://www.tavrin.example.com")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The window's texts are Chinese; without a CJK font they show as boxes.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-wqy-microhei | fonts-noto-cjk")

include(CPack)
