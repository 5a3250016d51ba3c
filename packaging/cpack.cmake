# The Debian package: "cmake --build <dir> --target package" (or cpack in the
# build folder) writes zorvik-test-tool_<version>_<arch>.deb. Its library
# dependencies are worked out by dpkg-shlibdeps (package dpkg-dev).
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

if(UNIX AND NOT APPLE)
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
