# Toolbar strips 6001 .. 6009 (one per scale step) and icon groups 128 (the
# program) and 129 (a chart), rendered from the SVG sources at build time and
# embedded with the Qt resource system:
#   :/toolbar/<id>.png        one row of square button images
#   :/icons/<group>/<edge>.png one picture per size
#   :/icons/vantix.png, :/icons/chart.png  the largest picture of each group

add_executable(vantix-rasterize ${CMAKE_CURRENT_LIST_DIR}/rasterize.cpp)
target_link_libraries(vantix-rasterize PRIVATE Qt6::Gui Qt6::Svg)

set(_img_dir ${CMAKE_CURRENT_BINARY_DIR}/images)
set(_tb_src ${CMAKE_CURRENT_LIST_DIR})
# Button order of every toolbar layout; the separator has no picture.
set(_tb_svgs
    ${_tb_src}/new_chart.svg
    ${_tb_src}/insert_data.svg
    ${_tb_src}/save_data.svg
    ${_tb_src}/water_level.svg
    ${_tb_src}/water_up.svg
    ${_tb_src}/water_down.svg
    ${_tb_src}/wireframe.svg
)
set(_img_files)
set(_id 6001)
foreach(_edge 24 30 36 42 48 54 60 72 84)
    set(_out ${_img_dir}/toolbar/${_id}.png)
    add_custom_command(OUTPUT ${_out}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${_img_dir}/toolbar
        COMMAND vantix-rasterize strip ${_out} ${_edge} ${_tb_svgs}
        DEPENDS vantix-rasterize ${_tb_svgs}
        COMMENT "Toolbar strip ${_id} (${_edge} px)"
        VERBATIM)
    list(APPEND _img_files ${_out})
    math(EXPR _id "${_id} + 1")
endforeach()

# Sizes of both window-class icons at every step (32 and 16 scaled), and a large one.
set(_icon_edges 16 20 24 28 32 36 40 48 56 64 72 80 96 112 256)
foreach(_group 128 129)
    if(_group EQUAL 128)
        set(_svg ${CMAKE_CURRENT_SOURCE_DIR}/icons/vantix.svg)
    else()
        set(_svg ${CMAKE_CURRENT_SOURCE_DIR}/icons/chart.svg)
    endif()
    foreach(_edge ${_icon_edges})
        set(_out ${_img_dir}/icons/${_group}/${_edge}.png)
        add_custom_command(OUTPUT ${_out}
            COMMAND ${CMAKE_COMMAND} -E make_directory ${_img_dir}/icons/${_group}
            COMMAND vantix-rasterize icon ${_out} ${_edge} ${_svg}
            DEPENDS vantix-rasterize ${_svg}
            COMMENT "Icon ${_group} (${_edge} px)"
            VERBATIM)
        list(APPEND _img_files ${_out})
    endforeach()
endforeach()

# The largest picture of each group again under the name the frames use.
foreach(_name vantix chart)
    set(_out ${_img_dir}/icons/${_name}.png)
    add_custom_command(OUTPUT ${_out}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${_img_dir}/icons
        COMMAND vantix-rasterize icon ${_out} 256 ${CMAKE_CURRENT_SOURCE_DIR}/icons/${_name}.svg
        DEPENDS vantix-rasterize ${CMAKE_CURRENT_SOURCE_DIR}/icons/${_name}.svg
        COMMENT "Icon ${_name}.png"
        VERBATIM)
    list(APPEND _img_files ${_out})
endforeach()

set_source_files_properties(${_img_files} PROPERTIES GENERATED TRUE)
add_library(vantix_images STATIC ${CMAKE_CURRENT_LIST_DIR}/images.cpp)
target_link_libraries(vantix_images PUBLIC Qt6::Core)
qt_add_resources(vantix_images vantix_images PREFIX "/" BASE ${_img_dir} FILES ${_img_files})
