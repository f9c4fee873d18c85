# The Windows installation and its MSI installer (CPack's WIX generator, WiX Toolset 3), included
# by packaging/CMakeLists.txt on Windows only. Laid out as Program Files\Varnel\bin\Varnel.exe
# with Qt's libraries, plugins and translations beside it (windeployqt) and the Visual C++
# runtime; SQLite and GoogleTest are linked statically (vcpkg's x64-windows-static-md), the
# ODBC driver manager is the system's odbc32.dll and Oracle's driver is installed separately.
#
# Untested here: no Windows machine, MSVC or Qt for Windows can be reached from where Varnel is
# built. README.md ("Building on Windows") lists what only a Windows machine can check.

# The licence and the Oracle trigger example, in a folder of their own.
install(FILES ${PROJECT_SOURCE_DIR}/docs/oracle-log-trigger.sql DESTINATION doc)
# WiX shows the licence in the installer and wants it as .txt or .rtf.
configure_file(copyright ${CMAKE_CURRENT_BINARY_DIR}/LICENSE.txt COPYONLY)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/LICENSE.txt DESTINATION doc)

# windeployqt copies what Varnel.exe loads from Qt beside the staged program: Qt's DLLs, the
# platform, style and image-format plugins, and Qt's Russian texts merged into
# translations\qt_ru.qm (the program loads it from there). It runs at install time, so that it
# sees the installed executable, whether `cmake --install` or CPack's staging installs it.
# varnel-demo-db needs only Qt6Core.dll, which Varnel's deployment holds.
find_program(VARNEL_WINDEPLOYQT windeployqt HINTS ${QT6_INSTALL_PREFIX}/${QT6_INSTALL_BINS} REQUIRED)
install(CODE "
    set(bin \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\")
    if(DEFINED ENV{DESTDIR})
        set(bin \"\$ENV{DESTDIR}\${bin}\")
    endif()
    execute_process(
        COMMAND \"${VARNEL_WINDEPLOYQT}\" --release --no-compiler-runtime --no-opengl-sw
                --no-system-d3d-compiler --translations ru --dir \"\${bin}\"
                \"\${bin}/Varnel.exe\"
        COMMAND_ERROR_IS_FATAL ANY)
")

# The Visual C++ runtime beside the program: no separate redistributable to install first.
set(CMAKE_INSTALL_SYSTEM_RUNTIME_DESTINATION ${CMAKE_INSTALL_BINDIR})
include(InstallRequiredSystemLibraries)

set(CPACK_GENERATOR WIX)
set(CPACK_PACKAGE_NAME Varnel)
set(CPACK_PACKAGE_VENDOR "Varnel")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "View and maintain the change log table of an Oracle database")
set(CPACK_PACKAGE_INSTALL_DIRECTORY Varnel)
set(CPACK_RESOURCE_FILE_LICENSE ${CMAKE_CURRENT_BINARY_DIR}/LICENSE.txt)
# The same code in every version, for ever: it is how Windows Installer knows that a new MSI
# replaces the installed Varnel rather than installing a second one beside it.
set(CPACK_WIX_UPGRADE_GUID 3B2E3BB9-A8F0-4F7F-BD3E-F37268B7689A)
set(CPACK_WIX_PRODUCT_ICON ${CMAKE_CURRENT_SOURCE_DIR}/varnel.ico)
set(CPACK_WIX_PROPERTY_ARPURLINFOABOUT "https://example.org/varnel")
# A Start-menu shortcut "Varnel" to bin\Varnel.exe, in a folder of the same name.
set(CPACK_PACKAGE_EXECUTABLES Varnel Varnel)
set(CPACK_WIX_PROGRAM_MENU_FOLDER Varnel)
set(CPACK_PACKAGE_FILE_NAME Varnel-${PROJECT_VERSION}-win64)
include(CPack)
