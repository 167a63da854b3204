# zorvi_library(<name> [DEPS <targets>...])
# Builds every .cpp/.h of the calling folder into the static library zorvi_<name>,
# with the folder itself on the include path of its users.
function(zorvi_library name)
  cmake_parse_arguments(ARG "" "" "DEPS;SOURCES" ${ARGN})
  file(GLOB srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.h)
  if(NOT "${srcs};${ARG_SOURCES}" MATCHES "\\.cpp")
    # A folder that so far holds only headers still gives a linkable library.
    set(empty ${CMAKE_CURRENT_BINARY_DIR}/zorvi_${name}_empty.cpp)
    file(WRITE ${empty} "")
    list(APPEND srcs ${empty})
  endif()
  add_library(zorvi_${name} STATIC ${srcs} ${ARG_SOURCES})
  target_include_directories(zorvi_${name} PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
  target_link_libraries(zorvi_${name} PUBLIC ${ARG_DEPS})
endfunction()

# zorvi_forbid_links(<target> <forbidden>...)
# Stops the configuration when <target>, or one of our libraries it links, links one of
# <forbidden>, so a layer cannot quietly grow a dependency it must not have.
function(zorvi_forbid_links target)
  set(seen "")
  set(queue ${target})
  while(queue)
    list(POP_FRONT queue current)
    if(current IN_LIST seen OR NOT TARGET ${current})
      continue()
    endif()
    list(APPEND seen ${current})
    get_target_property(links ${current} INTERFACE_LINK_LIBRARIES)
    if(NOT links)
      continue()
    endif()
    foreach(link IN LISTS links)
      if(link IN_LIST ARGN)
        message(FATAL_ERROR "${target} must not link ${link} (through ${current})")
      endif()
      if(link MATCHES "^zorvi_")
        list(APPEND queue ${link})
      endif()
    endforeach()
  endwhile()
endfunction()

# zorvi_test(<name> [LIBS <targets>...])
# One test program per tests/ folder: every .cpp of the folder, the shared test main
# and fakes, with each GoogleTest case registered with ctest.
function(zorvi_test name)
  cmake_parse_arguments(ARG "" "" "LIBS;SOURCES" ${ARGN})
  file(GLOB srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.h)
  if(NOT "${srcs};${ARG_SOURCES}" MATCHES "\\.cpp")
    return()
  endif()
  add_executable(tests_${name} ${srcs} ${ARG_SOURCES})
  target_link_libraries(tests_${name} PRIVATE zorvi_testmain ${ARG_LIBS})
  gtest_discover_tests(tests_${name}
    DISCOVERY_TIMEOUT 60
    DISCOVERY_MODE PRE_TEST
    PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen" TIMEOUT 300)
endfunction()
