# vaxolocal::vaxolocal for an installation found wherever it now lies:
# this file is <prefix>/sys/lib/cmake/vaxolocal/vaxolocalConfig.cmake.
get_filename_component(_vaxolocal_prefix "${CMAKE_CURRENT_LIST_DIR}/../../../.." ABSOLUTE)
set(_vaxolocal_library "${_vaxolocal_prefix}/sys/lib/libvaxolocal.so")
if(NOT EXISTS "${_vaxolocal_library}" OR NOT EXISTS "${_vaxolocal_prefix}/sys/include/vaxolocal")
  set(vaxolocal_FOUND FALSE)
  set(vaxolocal_NOT_FOUND_MESSAGE
      "incomplete installation under ${_vaxolocal_prefix}: no libvaxolocal.so or headers")
elseif(NOT TARGET vaxolocal::vaxolocal)
  add_library(vaxolocal::vaxolocal SHARED IMPORTED)
  set_target_properties(vaxolocal::vaxolocal PROPERTIES
    IMPORTED_LOCATION "${_vaxolocal_library}"
    IMPORTED_SONAME libvaxolocal.so
    INTERFACE_INCLUDE_DIRECTORIES "${_vaxolocal_prefix}/sys/include")
endif()
unset(_vaxolocal_library)
unset(_vaxolocal_prefix)
