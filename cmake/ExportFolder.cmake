# vhdx_export_folder(<target>)
#
# The headers of a library are included by the name of its folder,
# "common/exit_status.h", "support/plugin_image.h", "report/text_report.h".
# Exporting the folder's parent would let a user include the headers of every
# folder beside it. Instead each library exports a folder of the build tree
# that holds one entry: a link, named like the library's source folder, to
# that folder. A user then sees the folders of the libraries it links and no
# other; a wrong include fails to compile instead of adding a dependency that
# the CMake files do not show.
#
# Where no symbolic link can be made (Windows without the privilege), the
# library exports the folder's parent instead.
function(vhdx_export_folder target)
  file(RELATIVE_PATH folder ${PROJECT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR})
  get_filename_component(name ${CMAKE_CURRENT_SOURCE_DIR} NAME)
  set(root ${PROJECT_BINARY_DIR}/exported/${folder})
  set(link ${root}/${name})
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
      message(STATUS "${target}: no link to ${folder}/ (${failed}); its parent folder is exported instead")
      get_filename_component(root ${CMAKE_CURRENT_SOURCE_DIR} DIRECTORY)
    endif()
  endif()
  target_include_directories(${target} PUBLIC ${root})
endfunction()
