# The Windows build: the system's folders over the real Windows headers (the
# platform layer's Windows face), linked statically so that the executables
# need only Windows' own DLLs. Nothing of the simulated machine is compiled.
#
#   KV_TINYXML2_SOURCE  an unpacked tinyxml2 source tree (tinyxml2.cpp, tinyxml2.h)
#   KV_ZLIB_SOURCE      an unpacked zlib source tree (minizip is its contrib/minizip)
#   KV_GTEST_SOURCE     GoogleTest's sources (default: /usr/src/googletest)

set(KV_TINYXML2_SOURCE "" CACHE PATH "tinyxml2 source tree")
set(KV_ZLIB_SOURCE "" CACHE PATH "zlib source tree, for contrib/minizip")
set(KV_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest source tree")
foreach(tree KV_TINYXML2_SOURCE KV_ZLIB_SOURCE)
  if(NOT IS_DIRECTORY "${${tree}}")
    message(FATAL_ERROR "${tree} must name an unpacked source tree (scripts/kv.sh windows fetches them)")
  endif()
endforeach()

add_compile_options(-Wall -Wextra)
# GCC 12 misreports a string literal joined to a std::string as an overlapping
# copy (GCC bug 105651), inside libstdc++ only.
add_compile_options(-Wno-restrict)
add_compile_definitions(NOMINMAX _WIN32_WINNT=0x0A00 WINVER=0x0A00)
add_link_options(-static -static-libgcc -static-libstdc++)
set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})

set(ZLIB_USE_STATIC_LIBS ON)
find_package(ZLIB REQUIRED)

# tinyxml2 and minizip have no mingw package: built here from their sources,
# their headers staged where the system's includes look for them.
set(kv_dep_include ${CMAKE_BINARY_DIR}/deps/include)
file(MAKE_DIRECTORY ${kv_dep_include}/minizip)
file(COPY ${KV_TINYXML2_SOURCE}/tinyxml2.h DESTINATION ${kv_dep_include})
file(GLOB minizip_headers ${KV_ZLIB_SOURCE}/contrib/minizip/*.h)
file(COPY ${minizip_headers} DESTINATION ${kv_dep_include}/minizip)

add_library(kv_dep_tinyxml2 STATIC ${KV_TINYXML2_SOURCE}/tinyxml2.cpp)
target_include_directories(kv_dep_tinyxml2 SYSTEM PUBLIC ${kv_dep_include})
target_compile_options(kv_dep_tinyxml2 PRIVATE -w)

set(minizip_dir ${KV_ZLIB_SOURCE}/contrib/minizip)
add_library(kv_dep_minizip STATIC ${minizip_dir}/ioapi.c ${minizip_dir}/unzip.c ${minizip_dir}/zip.c
  ${minizip_dir}/iowin32.c)
set_target_properties(kv_dep_minizip PROPERTIES C_STANDARD 99)
target_include_directories(kv_dep_minizip SYSTEM PUBLIC ${kv_dep_include} PRIVATE ${minizip_dir})
target_link_libraries(kv_dep_minizip PUBLIC ZLIB::ZLIB)
target_compile_options(kv_dep_minizip PRIVATE -w)

set(kv_windows_libs ole32 oleaut32 uuid shlwapi shell32 advapi32 user32 kernel32)

# The system's folders, compiled unchanged; platform/ contributes only headers here.
include_directories(${CMAKE_SOURCE_DIR})
set(KV_WINDOWS_AREAS service core modem config common sar_dpr sar_tas antenna cfgmgr)
set(kv_system_sources "")
foreach(area IN LISTS KV_WINDOWS_AREAS)
  file(GLOB_RECURSE area_sources CONFIGURE_DEPENDS ${area}/*.cpp)
  list(FILTER area_sources EXCLUDE REGEX "/service/main\\.cpp$")
  list(APPEND kv_system_sources ${area_sources})
endforeach()
add_library(kv_system STATIC ${kv_system_sources})
target_link_libraries(kv_system PUBLIC kv_dep_tinyxml2 kv_dep_minizip ZLIB::ZLIB ${kv_windows_libs})

add_executable(KvCfgService service/main.cpp)
target_link_libraries(KvCfgService PRIVATE kv_system)

# The older sibling the service removes, for the runs under Wine.
add_executable(KvSiblingService tests/windows/sibling_service.cpp)
target_link_libraries(KvSiblingService PRIVATE advapi32)

# The player of a notebook's scenario under Wine, by kvsim's own scenario reader.
add_executable(KvPlay tests/windows/play_scenario.cpp tools/kvsim/scenario.cpp)
target_link_libraries(KvPlay PRIVATE advapi32)

# Test programs, run under Wine: GoogleTest built for Windows from its sources.
if(IS_DIRECTORY ${KV_GTEST_SOURCE})
  set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  add_subdirectory(${KV_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

  add_executable(test_slots tests/platform/mbn_slots_test.cpp)
  target_link_libraries(test_slots PRIVATE gtest_main ${kv_windows_libs})

  # Written against the Windows API alone, with a host fixture for each face:
  # everything of the folder but the simulation's fixture.
  file(GLOB conformance_sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/conformance/*.cpp)
  list(FILTER conformance_sources EXCLUDE REGEX "/host_sim\\.cpp$")
  if(conformance_sources AND EXISTS ${CMAKE_SOURCE_DIR}/tests/conformance/host_windows.cpp)
    add_executable(test_conformance ${conformance_sources})
    target_link_libraries(test_conformance PRIVATE gtest_main ${kv_windows_libs})
  endif()
else()
  message(STATUS "no GoogleTest sources at ${KV_GTEST_SOURCE}: Windows test programs not built")
endif()

# The stand-in Mobile Broadband service of the runs under Wine, registered in the Wine prefix: one
# modem read from a modem file, by the reader the simulated machine uses.
file(GLOB modemfile_sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/platform/modemfile/*.cpp)
add_library(kv_modemfile STATIC ${modemfile_sources})
add_library(KvMbnStandIn SHARED tests/windows/mbn_standin.cpp)
set_target_properties(KvMbnStandIn PROPERTIES PREFIX "")
target_link_libraries(KvMbnStandIn PRIVATE kv_modemfile ole32 oleaut32 uuid)
