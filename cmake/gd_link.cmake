# varnock_gd: libgd in the link mode that VARNOCK_STATIC_GD chooses.
#
# Static: Debian's libgd.a. A program that only reads GIF pulls in the GIF reader's few objects,
# which need nothing beyond libm and libc; the shared library instead loads every image format's
# library (about 55 of them) on each start. The archive's other objects (PNG, JPEG, fonts...)
# need their own libraries: those that are installed are linked shared and "as needed", so they
# land in a program only when it calls into such an object.
# Shared: libgd.so, which lets the distribution's security updates of libgd reach the program
# without a rebuild.
add_library(varnock_gd INTERFACE)
if(VARNOCK_STATIC_GD)
    find_library(VARNOCK_GD_ARCHIVE NAMES libgd.a HINTS ${GD_LIBRARY_DIRS} REQUIRED)
    set(varnock_gd_dependencies "")
    foreach(dependency IN LISTS GD_STATIC_LIBRARIES)
        if(dependency STREQUAL "gd")
            continue()
        endif()
        find_library(VARNOCK_GD_DEPENDENCY_${dependency} NAMES ${dependency})
        if(VARNOCK_GD_DEPENDENCY_${dependency})
            list(APPEND varnock_gd_dependencies ${VARNOCK_GD_DEPENDENCY_${dependency}})
        endif()
    endforeach()
    list(REMOVE_DUPLICATES varnock_gd_dependencies)
    target_include_directories(varnock_gd INTERFACE ${GD_INCLUDE_DIRS})
    target_link_options(varnock_gd INTERFACE LINKER:--as-needed)
    target_link_libraries(varnock_gd INTERFACE ${VARNOCK_GD_ARCHIVE} ${varnock_gd_dependencies} m)
else()
    target_link_libraries(varnock_gd INTERFACE PkgConfig::GD)
endif()
