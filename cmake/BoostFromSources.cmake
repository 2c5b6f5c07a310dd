# Boost.ProgramOptions and Boost.Filesystem compiled from their sources
# (scripts/fetch-boost-sources.sh), as the targets Boost::program_options and
# Boost::filesystem that find_package(Boost) gives a native build. Used where
# no Boost build for the target system exists: the Windows cross build.
#
#   -DVHDX_BOOST_SOURCES=<folder with include/ and src/>  (cmake/Options.cmake)

function(vhdx_add_boost_library name)
  file(GLOB sources CONFIGURE_DEPENDS ${VHDX_BOOST_SOURCES}/src/${name}/*.cpp)
  if(NOT sources)
    message(FATAL_ERROR "No sources in ${VHDX_BOOST_SOURCES}/src/${name}")
  endif()
  add_library(vhdx_boost_${name} STATIC ${sources})
  target_include_directories(vhdx_boost_${name} SYSTEM PUBLIC ${VHDX_BOOST_SOURCES}/include)
  # Static libraries, and no automatic linking by name (an MSVC feature).
  target_compile_definitions(vhdx_boost_${name} PUBLIC BOOST_ALL_NO_LIB BOOST_ALL_STATIC_LINK)
  # Third-party code: built as it is, without this project's warnings, and
  # with objects that do not depend on the folder the sources were put in.
  target_compile_options(vhdx_boost_${name} PRIVATE -w -ffile-prefix-map=${VHDX_BOOST_SOURCES}=boost)
  add_library(Boost::${name} ALIAS vhdx_boost_${name})
endfunction()

vhdx_add_boost_library(program_options)
vhdx_add_boost_library(filesystem)
target_compile_definitions(vhdx_boost_filesystem PRIVATE BOOST_FILESYSTEM_SOURCE)
target_include_directories(vhdx_boost_filesystem PRIVATE ${VHDX_BOOST_SOURCES}/src/filesystem)
