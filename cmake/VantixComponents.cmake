# Components are MODULE libraries that export VantixCreateInstance. Each one
# registers its class ids here; the registration file is written beside the
# executables at the end of configuration and installed beside the program.
set_property(GLOBAL PROPERTY VANTIX_COMPONENT_LINES "")

# vantix_register_component(<target> <CLSID in braces> [<CLSID> ...])
function(vantix_register_component target)
    foreach(clsid IN LISTS ARGN)
        set_property(GLOBAL APPEND PROPERTY VANTIX_COMPONENT_LINES "${clsid}=$<TARGET_FILE_NAME:${target}>")
    endforeach()
    install(TARGETS ${target} LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}/vantix)
    set_property(GLOBAL APPEND PROPERTY VANTIX_COMPONENT_TARGETS ${target})
endfunction()

function(vantix_write_component_registration)
    get_property(lines GLOBAL PROPERTY VANTIX_COMPONENT_LINES)
    list(JOIN lines "\n" body)
    set(header "# Vantix component registration: class id = module file (relative to this file)\n")
    file(GENERATE OUTPUT ${CMAKE_BINARY_DIR}/bin/vantix-components.conf CONTENT "${header}${body}\n")
    # Installed copy points from bin/ to the component folder.
    string(REPLACE "=" "=../${CMAKE_INSTALL_LIBDIR}/vantix/" installed "${body}")
    file(GENERATE OUTPUT ${CMAKE_BINARY_DIR}/install/vantix-components.conf CONTENT "${header}${installed}\n")
    install(FILES ${CMAKE_BINARY_DIR}/install/vantix-components.conf DESTINATION ${CMAKE_INSTALL_BINDIR})
endfunction()
