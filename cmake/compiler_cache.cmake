# Every run of the tests compiles the same sources in four build trees, most of
# them unchanged since the last clone: where ccache is installed and its cache
# can be written, it answers those compilations from the cache. Paths below the
# source folder are hashed relative to it, so another clone of the project hits
# the same entries.
option(CORVANTA_CCACHE "Compile through ccache where it is installed" ON)
if(CORVANTA_CCACHE AND NOT CMAKE_CXX_COMPILER_LAUNCHER)
  find_program(CORVANTA_CCACHE_PROGRAM ccache)
  if(CORVANTA_CCACHE_PROGRAM)
    execute_process(COMMAND ${CORVANTA_CCACHE_PROGRAM} --get-config cache_dir
                    OUTPUT_VARIABLE corvanta_ccache_dir OUTPUT_STRIP_TRAILING_WHITESPACE
                    RESULT_VARIABLE corvanta_ccache_status ERROR_QUIET)
    # A cache that cannot be written would fail every compilation: then compile without it.
    if(corvanta_ccache_status EQUAL 0 AND corvanta_ccache_dir)
      execute_process(COMMAND ${CMAKE_COMMAND} -E make_directory ${corvanta_ccache_dir}
                      RESULT_VARIABLE corvanta_ccache_status ERROR_QUIET)
    endif()
    if(corvanta_ccache_status EQUAL 0 AND corvanta_ccache_dir)
      execute_process(COMMAND ${CMAKE_COMMAND} -E touch ${corvanta_ccache_dir}/.written-by-corvanta
                      RESULT_VARIABLE corvanta_ccache_status ERROR_QUIET)
    endif()
    if(corvanta_ccache_status EQUAL 0 AND corvanta_ccache_dir)
      set(corvanta_launcher ${CMAKE_COMMAND} -E env CCACHE_BASEDIR=${CMAKE_SOURCE_DIR} CCACHE_NOHASHDIR=1
                            ${CORVANTA_CCACHE_PROGRAM})
      set(CMAKE_C_COMPILER_LAUNCHER ${corvanta_launcher})
      set(CMAKE_CXX_COMPILER_LAUNCHER ${corvanta_launcher})
      message(STATUS "Compiling through ccache (${corvanta_ccache_dir})")
    else()
      message(STATUS "ccache's cache (${corvanta_ccache_dir}) cannot be written: compiling without it")
    endif()
  endif()
endif()
