# What a build ships, side by side in one folder (cmake --install), and its ZIP package
# (cpack): Drovanel-<version>-win32.zip or -win64.zip, holding one folder of that name.

# The component shipped with the program: the vendor's build when given, else the stand-in.
set(COMPONENT_DIR "" CACHE PATH
    "Folder holding the ZIVOvavoDozad.DLL and dorove.dll to ship instead of the stand-in")
if(COMPONENT_DIR)
  set(shipped_component ${COMPONENT_DIR}/ZIVOvavoDozad.DLL ${COMPONENT_DIR}/dorove.dll)
else()
  set(shipped_component $<TARGET_FILE:ZIVOvavoDozad> $<TARGET_FILE:dorove>)
endif()

if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(DROVANEL_EDITION win64)
  set(DROVANEL_EDITION_TEXT "de 64 bits")
  set(DROVANEL_TARGET_TEXT "C:\\ProgramData\\Quorvel\\x64")
else()
  set(DROVANEL_EDITION win32)
  set(DROVANEL_EDITION_TEXT "de 32 bits")
  set(DROVANEL_TARGET_TEXT "C:\\ProgramData\\Quorvel")
endif()

# Read by Notepad on every Windows: UTF-8 with its byte-order mark, CRLF line ends.
configure_file(${PROJECT_SOURCE_DIR}/app/LEIA-ME.txt.in ${DROVANEL_GENERATED_DIR}/LEIA-ME.txt
               @ONLY NEWLINE_STYLE CRLF)

# Fixed permissions, whatever the umask: packages made anywhere are the same.
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
install(FILES $<TARGET_FILE:Pelmora> ${shipped_component} ${DROVANEL_GENERATED_DIR}/LEIA-ME.txt
        DESTINATION .
        PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME ${PROJECT_NAME})
set(CPACK_PACKAGE_VENDOR ${PROJECT_NAME})
set(CPACK_PACKAGE_FILE_NAME ${PROJECT_NAME}-${PROJECT_VERSION}-${DROVANEL_EDITION})
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/packages)
set(CPACK_SOURCE_GENERATOR "")
include(CPack)
