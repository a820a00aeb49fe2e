# The 64-bit Windows build (preset "windows", cross-built with mingw-w64):
# the GUI-free core, kvctl and the unit tests that need no pseudo-terminal.
# Linux-only parts stay out: libudev, the simulated tracker (it serves a
# pseudo-terminal) and the Debian packaging.
#
# Operating-system files: X_posix.cpp is left out, X_win32.cpp is built. In
# cli/, a file X_win32.cpp beside a plain X.cpp replaces it on Windows (a
# small file whose every line is system code, such as kvctl's Ctrl-C
# handling).

add_compile_options(-Wall -Wextra -Wno-unused-parameter)
# Windows headers without min/max macros; access() that ignores X_OK as older
# runtimes did; gmtime_r and localtime_r.
add_compile_definitions(WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0A00 __USE_MINGW_ACCESS
  _POSIX_THREAD_SAFE_FUNCTIONS=200112L)

# The resources of a program (icon, version, manifest), compiled by windres
# from src/res/windows_resources.rc.in.
enable_language(RC)
function(kv_windows_resources target description)
  set(KV_RC_NAME ${target})
  set(KV_RC_FILE ${target}.exe)
  set(KV_RC_DESCRIPTION "${description}")
  set(KV_RC_ICON ${CMAKE_SOURCE_DIR}/src/res/kvtool.ico)
  set(KV_RC_MANIFEST ${CMAKE_SOURCE_DIR}/src/res/windows.manifest)
  configure_file(${CMAKE_SOURCE_DIR}/src/res/windows_resources.rc.in ${CMAKE_BINARY_DIR}/res/${target}.rc @ONLY)
  target_sources(${target} PRIVATE ${CMAKE_BINARY_DIR}/res/${target}.rc)
  set_source_files_properties(${CMAKE_BINARY_DIR}/res/${target}.rc PROPERTIES
    OBJECT_DEPENDS "${KV_RC_ICON};${KV_RC_MANIFEST}")
endfunction()

function(kv_windows_sources out)
  set(sources ${ARGN})
  list(FILTER sources EXCLUDE REGEX "_posix\\.cpp$")
  set(${out} ${sources} PARENT_SCOPE)
endfunction()

function(kv_windows_twins out)
  set(sources ${ARGN})
  foreach(file IN LISTS sources)
    if(file MATCHES "^(.*)_win32\\.cpp$")
      list(REMOVE_ITEM sources "${CMAKE_MATCH_1}.cpp")
    endif()
  endforeach()
  set(${out} ${sources} PARENT_SCOPE)
endfunction()

# The layers as in the Linux build (CMakeLists.txt): each library links only
# the layers below it.
file(GLOB KV_PLATFORM_SOURCES CONFIGURE_DEPENDS src/platform/*.cpp)
kv_windows_sources(KV_PLATFORM_SOURCES ${KV_PLATFORM_SOURCES})
add_library(kvplatform STATIC ${KV_PLATFORM_SOURCES})
target_include_directories(kvplatform PUBLIC src)
target_link_libraries(kvplatform PUBLIC Threads::Threads setupapi)

file(GLOB KV_COMMON_SOURCES CONFIGURE_DEPENDS src/common/*.cpp)
add_library(kvcommon STATIC ${KV_COMMON_SOURCES})
target_link_libraries(kvcommon PUBLIC kvplatform)

foreach(engine serial settings firmware)
  file(GLOB KV_ENGINE_SOURCES CONFIGURE_DEPENDS src/${engine}/*.cpp)
  kv_windows_sources(KV_ENGINE_SOURCES ${KV_ENGINE_SOURCES})
  add_library(kv${engine} STATIC ${KV_ENGINE_SOURCES})
  target_link_libraries(kv${engine} PUBLIC kvcommon)
endforeach()
add_library(kvcore INTERFACE)
target_link_libraries(kvcore INTERFACE kvserial kvsettings kvfirmware)

file(GLOB KV_CLI_SOURCES CONFIGURE_DEPENDS cli/*.cpp)
list(FILTER KV_CLI_SOURCES EXCLUDE REGEX "kvctl_main\\.cpp$")
kv_windows_twins(KV_CLI_SOURCES ${KV_CLI_SOURCES})
add_library(kvcli STATIC ${KV_CLI_SOURCES})
target_include_directories(kvcli PUBLIC cli)
target_compile_options(kvcli PRIVATE -include ${CMAKE_SOURCE_DIR}/src/platform/posix_names_win32.h)
target_link_libraries(kvcli PUBLIC kvcore shell32 ole32 uuid)
add_executable(kvctl cli/kvctl_main.cpp)
target_link_libraries(kvctl PRIVATE kvcli)
kv_windows_resources(kvctl "KV-770 Tool terminal program")

# kvtool: the dialogs and the application over the dialog layer's Win32
# implementation (src/ui/win32), a GUI program without a console.
# The dialogs go into a library that the Win32 dialog tests link too.
file(GLOB KV_DIALOG_SOURCES CONFIGURE_DEPENDS
  src/ui/*.cpp src/ui/win32/*.cpp src/res/*.cpp src/app/*.cpp)
list(FILTER KV_DIALOG_SOURCES EXCLUDE REGEX "kvtool_main\\.cpp$")
add_library(kvdialogs STATIC ${KV_DIALOG_SOURCES})
target_link_libraries(kvdialogs PUBLIC kvcore comctl32 comdlg32 gdi32)
add_executable(kvtool WIN32 src/app/kvtool_main.cpp)
target_link_libraries(kvtool PRIVATE kvdialogs)
kv_windows_resources(kvtool "KV-770 User tool")

# kvpath: the installer's step that adds its folder to the system PATH and
# takes it out again (packaging/windows/kv770.nsi); not installed.
add_library(path_entry STATIC packaging/windows/path_entry/path_entry.cpp)
target_include_directories(path_entry PUBLIC packaging/windows/path_entry)
add_executable(kvpath packaging/windows/path_entry/kvpath_main.cpp)
target_link_libraries(kvpath PRIVATE path_entry)

# Windows programs the tests start run under Wine, in a prefix of this build.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_SOURCE_DIR}/scripts/wine-run.sh ${CMAKE_BINARY_DIR}/wine-prefix)

if(KV_BUILD_TESTS)
  enable_testing()
  add_subdirectory(tests/windows)
endif()
