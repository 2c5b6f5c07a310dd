# vhdx_export_folder(<target>)
#
# The headers of a library are included by their folder, "platform/file.h",
# "vhdx/metadata.h", so the folder that holds them is the source
# root. Exporting the source root would let every user of a library include
# any header of the tree. Instead each library exports a folder of the build
# tree that holds one entry: a link, named like the library's source folder,
# to that folder. A user then sees the folders of the libraries it links and
# no other; a wrong include fails to compile instead of adding a dependency
# that the CMake files do not show.
#
# Where no symbolic link can be made (Windows without the privilege), the
# library exports the source root, as a build without this would.
function(vhdx_export_folder target)
  file(RELATIVE_PATH folder ${PROJECT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR})
  set(root ${PROJECT_BINARY_DIR}/exported/${folder})
  set(link ${root}/${folder})
  set(made 0)
  if(IS_SYMLINK ${link})
    file(READ_SYMLINK ${link} points_to)
    if(points_to STREQUAL CMAKE_CURRENT_SOURCE_DIR)
      set(made 1)
    endif()
  endif()
  if(NOT made)
    get_filename_component(parent ${link} DIRECTORY)
    file(MAKE_DIRECTORY ${parent})
    file(CREATE_LINK ${CMAKE_CURRENT_SOURCE_DIR} ${link} RESULT failed SYMBOLIC)
    if(failed)
      message(STATUS "${target}: no link to ${folder}/ (${failed}); the whole source tree is exported instead")
      set(root ${PROJECT_SOURCE_DIR})
    endif()
  endif()
  target_include_directories(${target} PUBLIC ${root})
endfunction()
